// Removal takes only what this program wrote, and a removal or completion
// cut short by a failing call is finished by the next run.
#include <gtest/gtest.h>

#include <functional>

#include "FakePlatform.h"
#include "odbc/MdlODBC.h"
#include "setup/DataSources.h"
#include "setup/MachineFacts.h"

using namespace platform;

namespace {

const MdlODBC::Branch& kBranch = MdlODBC::kWow64Branch;
const std::string kRoot = MdlODBC::kWow64Root;
const DataSourceSpec kSpec = CurrentDataSource(0);  // Marvane-R
const std::string kKey = kRoot + kSpec.name;

void Install(fake::FakePlatform& fake) {
  ASSERT_EQ(
      MdlODBC(fake, fake, fake).CreateDataSourceWow64(kSpec.name, kSpec.path, kSpec.description).verdict,
      Verdict::Registered);
}

TEST(RemovalTest, OnlyWhatThisProgramWroteIsRemoved) {
  struct Case {
    const char* what;
    std::function<void(fake::FakePlatform&)> change;
    Verdict verdict;
    std::string why;  // in the detail of a data source that is left
  };
  const std::string jet = kKey + "\\Engines\\Jet";
  const Case cases[] = {
      {"another value", [](auto& f) { f.PutValue(kKey, "PWD", REG_SZ, "secret"); }, Verdict::Left,
       "it has values in " + kKey},
      {"a value under Engines", [](auto& f) { f.PutValue(kKey + "\\Engines", "x", REG_SZ, ""); },
       Verdict::Left, "values in"},
      {"a key below Jet", [&](auto& f) { f.PutKey(jet + "\\Extra"); }, Verdict::Left, "keys below"},
      {"another driver's folder",
       [](auto& f) { f.PutValue(kKey, "Driver", REG_SZ, "D:\\Tools\\Other\\ODBCJT32.DLL"); }, Verdict::Left,
       "its Driver is \"D:\\Tools\\Other\\ODBCJT32.DLL\""},
      {"bytes after a NUL in DBQ",
       [](auto& f) { f.PutValue(kKey, "DBQ", REG_SZ, kSpec.path + std::string("\0x", 2)); }, Verdict::Left,
       "its DBQ is"},
      {"another number", [&](auto& f) { f.PutValue(jet, "Threads", REG_DWORD, fake::Dword(4)); },
       Verdict::Left, "its Engines\\Jet Threads is"},
      {"another type", [](auto& f) { f.PutValue(kKey, "FIL", REG_EXPAND_SZ, "MS Access;"); }, Verdict::Left,
       "its FIL is of type 2"},
      {"another entry", [](auto& f) { f.PutValue(MdlODBC::kWow64Listing, kSpec.name, REG_SZ, "SQL Server"); },
       Verdict::Left, "its entry under ODBC Data Sources is \"SQL Server\""},
      // Still this program's: names in another case, the driver's path in
      // capitals, a text with its NUL, a run cut short.
      {"names in another case",
       [](auto& f) {
         f.RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kKey + "\\Engines\\Jet").c_str());
         f.RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kKey + "\\Engines").c_str());
         f.RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey.c_str());
         f.PutValue(kRoot + "MARVANE-r", "driver", REG_SZ, "C:\\WINDOWS\\SYSTEM32\\ODBCJT32.DLL");
         f.PutValue(kRoot + "MARVANE-r", "dbq", REG_SZ, kSpec.path + '\0');
       },
       Verdict::Removed, ""},
      {"cut short", [&](auto& f) { f.RegDeleteKeyA(HKEY_LOCAL_MACHINE, jet.c_str()); }, Verdict::Removed, ""},
  };
  for (const Case& c : cases) {
    fake::FakePlatform fake;
    Install(fake);
    c.change(fake);
    const auto before = fake.Snapshot();
    const DataSourceResult result = MdlODBC(fake, fake, fake).RemoveDataSource(kBranch, kSpec);
    EXPECT_EQ(result.verdict, c.verdict) << c.what << ": " << result.detail;
    EXPECT_NE(result.detail.find(c.why), std::string::npos) << c.what << ": " << result.detail;
    if (c.verdict == Verdict::Left) {
      EXPECT_EQ(fake.Snapshot(), before) << c.what;
    } else {
      EXPECT_FALSE(fake.HasKey(kKey)) << c.what;
      EXPECT_FALSE(fake.GetValue(MdlODBC::kWow64Listing, kSpec.name)) << c.what;
    }
  }

  // An entry without its key goes only when it names the driver.
  for (const auto& [data, verdict] : {std::pair<std::string, Verdict>{MdlODBC::kDriverName, Verdict::Removed},
                                      {"SQL Server", Verdict::Left}}) {
    fake::FakePlatform fake;
    fake.PutValue(MdlODBC::kWow64Listing, kSpec.name, REG_SZ, data);
    EXPECT_EQ(MdlODBC(fake, fake, fake).RemoveDataSource(kBranch, kSpec).verdict, verdict) << data;
    EXPECT_EQ(fake.GetValue(MdlODBC::kWow64Listing, kSpec.name).has_value(), verdict == Verdict::Left);
  }
}

// A call failing in the middle leaves what the next run finishes: the
// registry then holds exactly what a run without the failure leaves.
TEST(RemovalTest, ACallFailingInTheMiddleIsFinishedByTheNextRun) {
  struct Case {
    const char* op;
    int occurrence;
    bool remove;  // else complete a data source cut short after its Driver
    bool intact;  // a removal that failed before its first delete: still complete and listed
  };
  const Case cases[] = {{"RegDeleteKeyA", 2, true, false},     {"RegDeleteValueA", 1, true, true},
                        {"RegQueryValueExA", 5, true, true},   {"RegQueryInfoKeyCounts", 2, true, true},
                        {"RegQueryValueExA", 4, false, false}, {"RegSetValueExA", 2, false, false}};
  for (const Case& c : cases) {
    fake::FakePlatform fake, clean;
    Install(clean);
    if (c.remove) {
      Install(fake);
    } else {
      fake.Fail("RegSetValueExA", 4);  // cut short after its Driver
      MdlODBC(fake, fake, fake).CreateDataSourceWow64(kSpec.name, kSpec.path, kSpec.description);
    }
    fake.Fail(c.op, fake.CountOf(c.op) + c.occurrence, ERROR_WRITE_FAULT);
    MdlODBC odbc(fake, fake, fake);
    const auto run = [&] {
      return c.remove ? odbc.RemoveDataSource(kBranch, kSpec)
                      : odbc.CreateDataSourceWow64(kSpec.name, kSpec.path, kSpec.description);
    };
    EXPECT_EQ(run().verdict, Verdict::Failed) << c.op << " #" << c.occurrence;
    EXPECT_EQ(odbc.Inspect(kBranch, kSpec.name, KEY_READ).Complete(), c.intact) << c.op;
    EXPECT_EQ(run().verdict, c.remove ? Verdict::Removed : Verdict::Completed)
        << c.op << " #" << c.occurrence;
    if (c.remove) {
      EXPECT_FALSE(fake.HasKey(kKey)) << c.op;
      EXPECT_FALSE(fake.GetValue(MdlODBC::kWow64Listing, kSpec.name)) << c.op;
    } else {
      EXPECT_EQ(fake.Snapshot(), clean.Snapshot()) << c.op;
    }
  }
}

TEST(RemovalTest, LaterArchiveYearsAreFoundAmongTheBranchKeys) {
  EXPECT_EQ(ArchiveYearsAfter({"MV2026-R", "mv2027-s2", "MV2025-S", "MV2028-X", "MV2029-R1x", "Marvane-R",
                               "MV20a9-R", "MV2030"},
                              2025),
            (std::vector<std::int16_t>{2026, 2027}));
}

}  // namespace
