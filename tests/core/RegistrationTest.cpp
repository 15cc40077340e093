#include <gtest/gtest.h>

#include <array>
#include <optional>

#include "FakePlatform.h"
#include "odbc/MdlODBC.h"

using namespace platform;

namespace {

const std::string kName = "Marvane-R";
const std::string kPath = "\\\\SERVER\\VLK-Data\\Current\\Marvane-R.mdb";
const std::string kDescription = "Marvane Current - County";

class RegistrationTest : public ::testing::Test {
 protected:
  DataSourceResult Native() { return odbc.CreateDataSource(kName, kPath, kDescription); }
  DataSourceResult Wow64() { return odbc.CreateDataSourceWow64(kName, kPath, kDescription); }
  std::string Driver(const std::string& root) {
    auto value = fake.GetValue(root + kName, "Driver");
    return value ? value->data : "<none>";
  }
  void SetVersion(DWORD platformId, DWORD major, DWORD minor) {
    fake.version.dwPlatformId = platformId;
    fake.version.dwMajorVersion = major;
    fake.version.dwMinorVersion = minor;
  }

  fake::FakePlatform fake;
  MdlODBC odbc{fake, fake, fake};
};

// The 21 writes of one data source, after the probe and the directory lookup.
std::vector<std::string> Layout(const std::string& root, const std::string& listing,
                                std::size_t driverLength) {
  const std::string key = root + kName;
  const std::string jet = key + "\\Engines\\Jet";
  return {
      "RegCreateKeyA(\"" + key + "\")",
      "RegSetValueExA(" + key + ", \"DBQ\", 0, 1, " + std::to_string(kPath.size()) + ")",
      "RegSetValueExA(" + key + ", \"Description\", 0, 1, " + std::to_string(kDescription.size()) + ")",
      "RegSetValueExA(" + key + ", \"Driver\", 0, 1, " + std::to_string(driverLength) + ")",
      "RegSetValueExA(" + key + ", \"DriverId\", 0, 4, 4)",
      "RegSetValueExA(" + key + ", \"FIL\", 0, 1, 10)",
      "RegSetValueExA(" + key + ", \"SafeTransactions\", 0, 4, 4)",
      "RegSetValueExA(" + key + ", \"UID\", 0, 1, 0)",
      "RegCloseKey(" + key + ")",
      "RegCreateKeyA(\"" + key + "\\Engines\")",
      "RegCloseKey(" + key + "\\Engines)",
      "RegCreateKeyA(\"" + jet + "\")",
      "RegSetValueExA(" + jet + ", \"ImplicitCommitSync\", 0, 1, 0)",
      "RegSetValueExA(" + jet + ", \"MaxBufferSize\", 0, 4, 4)",
      "RegSetValueExA(" + jet + ", \"PageTimeout\", 0, 4, 4)",
      "RegSetValueExA(" + jet + ", \"Threads\", 0, 4, 4)",
      "RegSetValueExA(" + jet + ", \"UserCommitSync\", 0, 1, 3)",
      "RegCloseKey(" + jet + ")",
      "RegCreateKeyA(\"" + listing + "\")",
      "RegSetValueExA(" + listing + ", \"" + kName + "\", 0, 1, 31)",
      "RegCloseKey(" + listing + ")",
  };
}

std::vector<std::string> Tail(const std::vector<std::string>& calls, std::size_t n) {
  return {calls.end() - static_cast<std::ptrdiff_t>(std::min(n, calls.size())), calls.end()};
}

TEST_F(RegistrationTest, NativeBranchWritesTheLayoutWithTheSystemDirectory) {
  fake.systemDirectory = "C:\\Windows\\system32";
  ASSERT_EQ(Native().verdict, Verdict::Registered);
  auto calls = fake.CallTexts();
  ASSERT_EQ(calls.size(), 24u);
  EXPECT_EQ(calls[0], "RegOpenKeyExA(\"SOFTWARE\\ODBC\\ODBC.INI\\Marvane-R\", 0, 0xF003F)");
  EXPECT_EQ(calls[1], "RegOpenKeyExA(\"SOFTWARE\\ODBC\\ODBC.INI\\ODBC Data Sources\", 0, 0x1)");
  EXPECT_EQ(calls[2], "GetSystemDirectoryA(260)");
  EXPECT_EQ(Tail(calls, 21), Layout(MdlODBC::kNativeRoot, MdlODBC::kNativeListing, 19 + 13));

  const std::string key = std::string(MdlODBC::kNativeRoot) + kName;
  EXPECT_EQ(Driver(MdlODBC::kNativeRoot), "C:\\Windows\\system32\\odbcjt32.dll");
  EXPECT_EQ(fake.GetValue(key, "DBQ")->data, kPath);
  EXPECT_EQ(fake.GetValue(key, "DriverId")->data, fake::Dword(25));
  EXPECT_EQ(fake.GetValue(key, "FIL")->data, "MS Access;");
  EXPECT_EQ(fake.GetValue(key, "UID")->type, REG_SZ);
  EXPECT_EQ(fake.GetValue(key, "UID")->data, "");
  EXPECT_EQ(fake.GetValue(key + "\\Engines\\Jet", "MaxBufferSize")->data, fake::Dword(2048));
  EXPECT_EQ(fake.GetValue(key + "\\Engines\\Jet", "ImplicitCommitSync")->data, "");
  EXPECT_EQ(fake.GetValue(MdlODBC::kNativeListing, kName)->data, "Microsoft Access Driver (*.mdb)");
  EXPECT_EQ(fake.OpenHandleCount(), 0u);
}

TEST_F(RegistrationTest, Wow64BranchNamesTheDirectoryFromTheVersion) {
  ASSERT_EQ(Wow64().verdict, Verdict::Registered);
  auto calls = fake.CallTexts();
  ASSERT_EQ(calls.size(), 25u);
  EXPECT_EQ(calls[0], "RegOpenKeyExA(\"SOFTWARE\\WOW6432node\\ODBC\\ODBC.INI\\Marvane-R\", 0, 0xF003F)");
  EXPECT_EQ(calls[2], "GetVersionExA(148)");
  EXPECT_EQ(calls[3], "GetSystemDirectoryA(260)");
  EXPECT_EQ(Tail(calls, 21), Layout(MdlODBC::kWow64Root, MdlODBC::kWow64Listing, 19 + 13));
  EXPECT_EQ(Driver(MdlODBC::kWow64Root), "C:\\WINDOWS\\system32\\odbcjt32.dll");
  EXPECT_FALSE(fake.HasKey(std::string(MdlODBC::kNativeRoot) + kName));
}

TEST_F(RegistrationTest, CompleteDataSourceIsLeftExactlyAsItIs) {
  // Made by hand, with another driver file and path, listed for the Access
  // driver: complete, so never touched.
  for (const MdlODBC::Branch& branch : {MdlODBC::kNativeBranch, MdlODBC::kWow64Branch}) {
    fake.PutValue(std::string(branch.root) + kName, "DBQ", REG_SZ, "elsewhere");
    fake.PutValue(std::string(branch.root) + kName, "Driver", REG_SZ, "D:\\Other\\driver.dll");
    fake.PutValue(branch.listing, kName, REG_SZ, MdlODBC::kDriverName);
  }
  const auto before = fake.Snapshot();
  EXPECT_EQ(Native().verdict, Verdict::AlreadyPresent);
  EXPECT_EQ(Wow64().verdict, Verdict::AlreadyPresent);
  EXPECT_EQ(fake.CountOf("RegSetValueExA") + fake.CountOf("RegCreateKeyA"), 0);
  EXPECT_EQ(fake.Snapshot(), before);
  EXPECT_EQ(fake.OpenHandleCount(), 0u);
}

TEST_F(RegistrationTest, IncompleteDataSourceIsCompletedKeepingWhatIsThere) {
  // Cut short before its Driver: the hand-made DBQ and the stale listing
  // entry stay, everything missing is written in the order of a clean run.
  const std::string key = std::string(MdlODBC::kWow64Root) + kName;
  fake.PutValue(key, "DBQ", REG_SZ, "hand-made");
  fake.PutValue(key + "\\Engines\\Jet", "Threads", REG_DWORD, fake::Dword(9));
  EXPECT_EQ(Wow64().verdict, Verdict::Completed);
  EXPECT_EQ(fake.GetValue(key, "DBQ")->data, "hand-made");
  EXPECT_EQ(fake.GetValue(key + "\\Engines\\Jet", "Threads")->data, fake::Dword(9));
  EXPECT_EQ(Driver(MdlODBC::kWow64Root), "C:\\WINDOWS\\system32\\odbcjt32.dll");
  EXPECT_EQ(fake.GetValue(MdlODBC::kWow64Listing, kName)->data, MdlODBC::kDriverName);
  EXPECT_EQ(fake.CountOf("RegSetValueExA"), 11);

  // Listed, with a Driver, but its Jet settings gone: complete, left alone.
  fake::FakePlatform local;
  local.PutValue(std::string(MdlODBC::kNativeRoot) + kName, "Driver", REG_SZ, "x");
  local.PutValue(MdlODBC::kNativeListing, kName, REG_SZ, MdlODBC::kDriverName);
  EXPECT_EQ(MdlODBC(local, local, local).CreateDataSource(kName, kPath, kDescription).verdict,
            Verdict::AlreadyPresent);
  EXPECT_FALSE(local.HasKey(std::string(MdlODBC::kNativeRoot) + kName + "\\Engines"));
}

TEST_F(RegistrationTest, AnyFailedWriteIsCompletedByTheNextRunToExactlyACleanRun) {
  fake::FakePlatform clean;
  ASSERT_EQ(MdlODBC(clean, clean, clean).CreateDataSourceWow64(kName, kPath, kDescription).verdict,
            Verdict::Registered);
  const auto expected = clean.Snapshot();

  // Every one of the 21 calls of the layout, failed in turn.
  const std::pair<const char*, int> calls[] = {
      {"RegCreateKeyA", 4}, {"RegSetValueExA", 13}, {"RegCloseKey", 4}};
  for (const auto& [op, count] : calls) {
    for (int occurrence = 1; occurrence <= count; ++occurrence) {
      fake::FakePlatform local;
      local.Fail(op, occurrence, ERROR_WRITE_FAULT);
      MdlODBC module(local, local, local);
      const DataSourceResult first = module.CreateDataSourceWow64(kName, kPath, kDescription);
      const bool complete = module.Inspect(MdlODBC::kWow64Branch, kName, KEY_QUERY_VALUE).Complete();
      // Nothing is reported as registered that is not complete.
      EXPECT_TRUE(first.verdict == Verdict::Failed || complete) << op << " #" << occurrence;
      if (std::string(op) != "RegCloseKey") {
        EXPECT_EQ(first.verdict, Verdict::Failed) << op << " #" << occurrence;
        EXPECT_NE(first.detail.find(" returned 29 "), std::string::npos) << op << " #" << occurrence;
        EXPECT_EQ(first.detail.rfind(op, 0), 0u) << first.detail;
      }

      // The failure was one call's: the counts run on, so it does not recur.
      const DataSourceResult second = module.CreateDataSourceWow64(kName, kPath, kDescription);
      EXPECT_NE(second.verdict, Verdict::Failed) << op << " #" << occurrence << ": " << second.detail;
      EXPECT_EQ(local.Snapshot(), expected) << op << " #" << occurrence;
    }
  }
}

// One rule for an entry under ODBC Data Sources, with or without its key, in
// the install, /check and /remove: only a REG_SZ naming the Access driver is
// this program's, and is kept byte for byte; any other is never changed.
TEST(EntryRuleTest, AnEntryThatIsNotThisProgramsIsNeverTakenOver) {
  using V = Verdict;
  const MdlODBC::Branch& branch = MdlODBC::kWow64Branch;
  const std::string other = "its entry under ODBC Data Sources is \"SQL Server\"", type = "is of type 2";
  const fake::Value ours{REG_SZ, MdlODBC::kDriverName + std::string(1, '\0')}, sql{REG_SZ, "SQL Server"},
      expand{REG_EXPAND_SZ, MdlODBC::kDriverName};
  struct Case {
    std::optional<fake::Value> entry;
    bool key;                   // the rest of the data source is there, as an install writes it
    std::array<V, 3> verdicts;  // of the install, the check and the removal
    std::string why;            // in the detail of the install and the check
  };
  const Case cases[] = {
      {sql, false, {V::Left, V::Missing, V::Left}, other},
      {sql, true, {V::Left, V::Missing, V::Left}, other},
      {expand, false, {V::Left, V::Missing, V::Left}, type},
      {expand, true, {V::Left, V::Missing, V::Left}, type},
      {ours, false, {V::Completed, V::Missing, V::Removed}, ""},
      {ours, true, {V::AlreadyPresent, V::Present, V::Removed}, ""},
      {std::nullopt, false, {V::Registered, V::Missing, V::Absent}, ""},
      {std::nullopt, true, {V::Completed, V::Missing, V::Removed}, ""},
  };
  for (const Case& c : cases) {
    for (std::size_t mode = 0; mode < 3; ++mode) {
      fake::FakePlatform fake;
      MdlODBC odbc(fake, fake, fake);
      if (c.key) odbc.CreateDataSourceWow64(kName, kPath, kDescription);
      fake.PutKey(branch.listing).RemoveValue(kName);
      if (c.entry) fake.PutValue(branch.listing, kName, c.entry->type, c.entry->data);
      const auto before = fake.Snapshot();
      const DataSourceResult result = mode == 0 ? odbc.CreateDataSourceWow64(kName, kPath, kDescription)
                                      : mode == 1
                                          ? odbc.CheckDataSource(branch, {kName, kPath, kDescription})
                                          : odbc.RemoveDataSource(branch, {kName, kPath, kDescription});
      const std::string shown = (c.entry ? c.entry->data : "none") + (c.key ? ", key, " : ", no key, ") +
                                std::to_string(mode) + ": " + result.detail;
      EXPECT_EQ(result.verdict, c.verdicts[mode]) << shown;
      EXPECT_NE(mode < 2 ? result.detail.find(c.why) : 0, std::string::npos) << shown;
      EXPECT_EQ(mode == 1 && !c.why.empty() ? result.detail.rfind("not this program's: ", 0) : 0, 0u)
          << shown;
      if (c.verdicts[mode] == V::Left || mode == 1) {
        EXPECT_EQ(fake.Snapshot(), before) << shown;
      } else if (mode == 0) {
        EXPECT_TRUE(odbc.Inspect(branch, kName, KEY_READ).Complete()) << shown;
        EXPECT_EQ(fake.GetValue(branch.listing, kName)->data, c.entry ? c.entry->data : MdlODBC::kDriverName);
      } else {
        EXPECT_FALSE(fake.HasKey(std::string(branch.root) + kName) || fake.GetValue(branch.listing, kName));
      }
    }
  }
}

TEST_F(RegistrationTest, ProbeThatIsRefusedCountsAsAbsent) {
  fake.PutKey(std::string(MdlODBC::kNativeRoot) + kName);
  fake.Fail("RegOpenKeyExA", 1, ERROR_ACCESS_DENIED);
  EXPECT_NE(Native().verdict, Verdict::Failed);
  EXPECT_EQ(fake.CountOf("RegSetValueExA"), 13);
}

TEST_F(RegistrationTest, VersionNames) {
  struct Case {
    DWORD platformId, major, minor;
    const char* name;
  };
  const Case cases[] = {
      {0, 9, 9, "Win32s"},    {1, 4, 0, "Win95"},  {1, 4, 10, "Win98"},  {1, 4, 90, ""},
      {2, 3, 51, "WinNT361"}, {2, 4, 0, "WinNT4"}, {2, 5, 0, "Win2000"}, {2, 5, 1, "WinXP"},
      {2, 5, 2, "Win2003"},   {2, 5, 3, ""},       {2, 6, 0, "Vista"},   {2, 6, 3, "Vista"},
      {2, 10, 0, ""},         {3, 0, 0, "WinCE"},  {4, 0, 0, "Failed"},  {0xFFFFFFFF, 0, 0, "Failed"},
  };
  for (const Case& c : cases) {
    SetVersion(c.platformId, c.major, c.minor);
    EXPECT_EQ(odbc.GetWindowsVersionName(), c.name) << c.platformId << " " << c.major << "." << c.minor;
  }
  fake.versionFillsRecord = false;
  EXPECT_EQ(odbc.GetWindowsVersionName(), "Win32s");
}

TEST_F(RegistrationTest, Wow64DriverDirectoryByVersion) {
  // The versions the table names keep their directory; every other one
  // gets the system directory Windows reports, or the NT default when
  // that cannot be had.
  enum SystemDirectory { Reported, CallFails, Empty };
  struct Case {
    DWORD platformId, major, minor;
    SystemDirectory systemDirectory;
    const char* driver;
  };
  const Case cases[] = {
      {1, 4, 0, Reported, "C:\\Windows\\System\\odbcjt32.dll"},
      {1, 4, 10, Reported, "C:\\Windows\\System\\odbcjt32.dll"},
      {2, 5, 0, Reported, "C:\\WinNT\\System32\\odbcjt32.dll"},
      {2, 4, 0, Reported, "C:\\WinNT\\System32\\odbcjt32.dll"},
      {2, 5, 1, Reported, "D:\\Win\\SysWOW64\\odbcjt32.dll"},
      {2, 6, 2, Reported, "D:\\Win\\SysWOW64\\odbcjt32.dll"},
      {2, 10, 0, Reported, "D:\\Win\\SysWOW64\\odbcjt32.dll"},
      {0, 0, 0, Reported, "D:\\Win\\SysWOW64\\odbcjt32.dll"},
      {2, 6, 2, CallFails, "C:\\WinNT\\System32\\odbcjt32.dll"},
      {2, 6, 2, Empty, "C:\\WinNT\\System32\\odbcjt32.dll"},
      {1, 4, 90, Empty, "C:\\WinNT\\System32\\odbcjt32.dll"},
  };
  for (const Case& c : cases) {
    fake::FakePlatform local;
    local.version.dwPlatformId = c.platformId;
    local.version.dwMajorVersion = c.major;
    local.version.dwMinorVersion = c.minor;
    local.systemDirectory = c.systemDirectory == Empty ? "" : "D:\\Win\\SysWOW64";
    if (c.systemDirectory == Empty) local.systemDirectoryResult = 12;
    if (c.systemDirectory == CallFails) local.Fail("GetSystemDirectoryA", 0);
    MdlODBC module(local, local, local);
    EXPECT_NE(module.CreateDataSourceWow64(kName, kPath, kDescription).verdict, Verdict::Failed);
    auto driver = local.GetValue(std::string(MdlODBC::kWow64Root) + kName, "Driver");
    ASSERT_TRUE(driver);
    EXPECT_EQ(driver->data, c.driver) << c.platformId << " " << c.major << "." << c.minor;
    EXPECT_TRUE(local.messageBoxes.empty());
  }
}

TEST_F(RegistrationTest, UnknownPlatformStopsOnlyTheWow64Branch) {
  SetVersion(4, 0, 0);
  EXPECT_EQ(Wow64().verdict, Verdict::Failed);
  ASSERT_EQ(fake.messageBoxes.size(), 1u);
  EXPECT_EQ(fake.messageBoxes[0].text, "Failed to get OS Version");
  EXPECT_EQ(fake.messageBoxes[0].caption, "Setup");
  EXPECT_EQ(fake.messageBoxes[0].type, MB_OK);
  EXPECT_EQ(fake.CountOf("RegCreateKeyA"), 0);

  EXPECT_NE(Native().verdict, Verdict::Failed);
  EXPECT_EQ(fake.CountOf("GetVersionExA"), 1);
}

TEST_F(RegistrationTest, SystemDirectoryMustBeNonEmpty) {
  fake.systemDirectoryResult = 12;  // claims a length while the buffer starts with a NUL
  fake.systemDirectory = "";
  EXPECT_EQ(odbc.GetSystemDir(), "");
  EXPECT_EQ(Native().verdict, Verdict::Failed);
  EXPECT_EQ(fake.messageBoxes.size(), 1u);
  EXPECT_EQ(fake.CountOf("RegCreateKeyA"), 0);

  fake.systemDirectory = "D:\\W\\sys";
  fake.systemDirectoryResult = 0;
  fake.Fail("GetSystemDirectoryA", 0);
  EXPECT_EQ(odbc.GetSystemDir(), "");

  fake::FakePlatform local;
  local.systemDirectory = "D:\\W\\sys\\";
  local.systemDirectoryResult = 99;  // the returned length is not used
  EXPECT_EQ(MdlODBC(local, local, local).GetSystemDir(), "D:\\W\\sys\\");
}

TEST_F(RegistrationTest, FailedWriteEndsTheRegistrationAndIsReported) {
  // Nothing after the failed call is written, so the data source is never
  // listed with a gap in it.
  struct Case {
    const char* op;
    int occurrence;
    int creates, sets;  // made in all, the failing one included
  };
  const Case cases[] = {{"RegCreateKeyA", 1, 1, 0},
                        {"RegCreateKeyA", 3, 3, 7},
                        {"RegSetValueExA", 1, 1, 1},
                        {"RegSetValueExA", 13, 4, 13}};
  for (const Case& c : cases) {
    fake::FakePlatform local;
    local.Fail(c.op, c.occurrence, ERROR_ACCESS_DENIED);
    MdlODBC module(local, local, local);
    const DataSourceResult result = module.CreateDataSource(kName, kPath, kDescription);
    EXPECT_EQ(result.verdict, Verdict::Failed) << c.op << " #" << c.occurrence;
    EXPECT_NE(result.detail.find(" returned 5 "), std::string::npos) << result.detail;
    EXPECT_EQ(local.CountOf("RegCreateKeyA"), c.creates) << c.op << " #" << c.occurrence;
    EXPECT_EQ(local.CountOf("RegSetValueExA"), c.sets) << c.op << " #" << c.occurrence;
    EXPECT_FALSE(local.GetValue(MdlODBC::kNativeListing, kName));
    EXPECT_TRUE(local.messageBoxes.empty());
    EXPECT_EQ(local.OpenHandleCount(), 0u);
  }
  // A failing close loses nothing and is not a failure.
  fake.Fail("RegCloseKey", 0, ERROR_INVALID_HANDLE);
  EXPECT_NE(Native().verdict, Verdict::Failed);
}

TEST_F(RegistrationTest, NameKeepsItsCase) {
  EXPECT_NE(odbc.CreateDataSource("mIxEd-Name", kPath, kDescription).verdict, Verdict::Failed);
  auto calls = fake.CallTexts("RegSetValueExA");
  EXPECT_EQ(calls.back(),
            "RegSetValueExA(" + std::string(MdlODBC::kNativeListing) + ", \"mIxEd-Name\", 0, 1, 31)");
  EXPECT_EQ(fake.CallTexts("RegCreateKeyA").front(),
            "RegCreateKeyA(\"SOFTWARE\\ODBC\\ODBC.INI\\mIxEd-Name\")");
}

}  // namespace
