// The command line, and the unattended, detection and removal runs over the
// recording fake.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "FakePlatform.h"
#include "odbc/MdlODBC.h"
#include "setup/CommandLine.h"
#include "setup/SetupProgram.h"

using namespace platform;

namespace {

TEST(CommandLineTest, SwitchesAliasesAndMistakes) {
  struct Case {
    std::vector<std::string> arguments;
    Mode mode;
    bool quiet;
    const char* logFile;
  };
  const Case cases[] = {
      {{}, Mode::Install, false, ""},
      {{"/quiet"}, Mode::Install, true, ""},
      {{"-Q"}, Mode::Install, true, ""},
      {{"--QUIET", "/L", "C:\\a b.log"}, Mode::Install, true, "C:\\a b.log"},
      {{"-log", "x.log", "/check"}, Mode::Check, false, "x.log"},
      {{"/Remove"}, Mode::Remove, false, ""},
      {{"--uninstall", "/q"}, Mode::Remove, true, ""},
      {{"-x", "/x"}, Mode::Remove, false, ""},
      {{"/?"}, Mode::Help, false, ""},
      {{"-H", "/quiet"}, Mode::Help, false, ""},
      {{"--help"}, Mode::Help, false, ""},
      // Not understood: exit 87, nothing opened.
      {{"quiet"}, Mode::Invalid, false, ""},
      {{"--q"}, Mode::Invalid, false, ""},
      {{"/log"}, Mode::Invalid, false, ""},
      {{"/log", ""}, Mode::Invalid, false, ""},
      {{"/l", "a", "/log", "b"}, Mode::Invalid, false, ""},
      {{"/check", "/remove"}, Mode::Invalid, false, ""},
      {{"--VERIFY", "/q"}, Mode::Verify, true, ""},
      {{"/verify", "/check"}, Mode::Invalid, false, ""},
      {{"/quiet", "/bogus"}, Mode::Invalid, false, ""},
      {{"/"}, Mode::Invalid, false, ""},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& argument : c.arguments) shown += argument + " ";
    const CommandLine command = ParseCommandLine(c.arguments);
    EXPECT_EQ(command.mode, c.mode) << shown;
    EXPECT_EQ(command.quiet, c.quiet) << shown;
    EXPECT_EQ(command.logFile, c.logFile) << shown;
    EXPECT_EQ(command.error.empty(), c.mode != Mode::Invalid) << shown;
  }
}

class DeploymentTest : public ::testing::Test {
 protected:
  DeploymentTest() {
    fake.year = 2004;  // 15 data sources
    fake.PutValue("HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "Identifier", REG_SZ,
                  "Intel64 Family 6 Model 85 Stepping 7");
    // As on Windows: the ODBC keys are there before the program ever runs.
    fake.PutKey(MdlODBC::kWow64Listing);
    fake.PutValue(MdlODBC::kWow64Listing, "Other DSN", REG_SZ, "SQL Server");
    fake.PutValue("SOFTWARE\\Vendor", "Keep", REG_SZ, "this");
  }

  int Run(std::vector<std::string> arguments, const std::string& logFile = "") {
    return RunOn(fake, std::move(arguments), logFile);
  }
  int RunOn(fake::FakePlatform& platform, std::vector<std::string> arguments, const std::string& logFile) {
    if (!logFile.empty()) {
      arguments.push_back("/log");
      arguments.push_back(logFile);
    }
    const CommandLine command = ParseCommandLine(arguments);
    RunLog log;
    std::string error;
    if (!command.logFile.empty()) {
      EXPECT_TRUE(log.Open(command.logFile, error)) << error;
    }
    out.clear();
    fake::FakeHost host(platform);
    host.interactive = interactive;
    return RunSetup(host, command, log, out, errors);
  }

  int Writes() const {
    return fake.CountOf("RegCreateKeyA") + fake.CountOf("RegSetValueExA") + fake.CountOf("RegDeleteKeyA") +
           fake.CountOf("RegDeleteValueA");
  }
  int WindowCalls() const { return WindowCallsOf(fake); }
  static int WindowCallsOf(const fake::FakePlatform& platform) {
    int count = 0;
    for (const char* op : {"Run", "Show", "Refresh", "MessageBoxA"}) count += platform.CountOf(op);
    return count;
  }

  fake::FakePlatform fake;
  bool interactive = true;
  std::string out, errors;
};

TEST_F(DeploymentTest, QuietInstallShowsNothingAndUnattendedIsQuiet) {
  EXPECT_EQ(Run({"/quiet"}), 0);
  EXPECT_EQ(WindowCalls(), 0);
  EXPECT_TRUE(fake.GetValue(std::string(MdlODBC::kWow64Root) + "MV2003-S2", "Driver"));

  // Nobody can see the screen: the plain run behaves as /quiet instead of
  // waiting for a click that cannot come; "Failed to get OS Version" too.
  fake::FakePlatform fresh;
  fresh.version.dwPlatformId = 9;  // names no directory
  interactive = false;
  const std::string logFile = ::testing::TempDir() + "unattended.log";
  std::remove(logFile.c_str());
  EXPECT_EQ(RunOn(fresh, {}, logFile), 1);
  EXPECT_EQ(WindowCallsOf(fresh), 0);
  std::ifstream log(logFile);
  const std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("nobody can see"), std::string::npos) << text;
  EXPECT_NE(text.find("message \"Setup\": Failed to get OS Version"), std::string::npos) << text;
  EXPECT_NE(text.find("Marvane-R: failed: GetVersionExA failed"), std::string::npos) << text;
}

TEST_F(DeploymentTest, CheckReadsOnlyAndTellsMissingFromComplete) {
  EXPECT_EQ(Run({"/check"}), 1);
  EXPECT_EQ(Writes(), 0);
  EXPECT_EQ(WindowCalls(), 0);
  EXPECT_NE(out.find("MV2002-R: missing: no key\n"), std::string::npos) << out;

  EXPECT_EQ(Run({"/quiet"}), 0);
  EXPECT_EQ(Run({"/check"}), 0);
  EXPECT_EQ(out, "");

  // A data source cut short counts as missing.
  fake.ClearCalls();
  HKEY key = 0;
  ASSERT_EQ(fake.RegOpenKeyExA(HKEY_LOCAL_MACHINE, MdlODBC::kWow64Listing, 0, KEY_SET_VALUE, &key),
            ERROR_SUCCESS);
  ASSERT_EQ(fake.RegDeleteValueA(key, "MV2003-S"), ERROR_SUCCESS);
  fake.RegCloseKey(key);
  EXPECT_EQ(Run({"/check"}), 1);
  EXPECT_EQ(out, "MV2003-S: missing: not listed under ODBC Data Sources\n");
}

TEST_F(DeploymentTest, RemovalLeavesTheRegistryAsBeforeTheRunButForWhatWasChangedByHand) {
  const auto before = fake.Snapshot();
  ASSERT_EQ(Run({"/quiet"}), 0);
  // Changed by hand: another path; keys of its own below another one.
  const std::string root = MdlODBC::kWow64Root;
  fake.PutValue(root + "Marvane-S", "DBQ", REG_SZ, "\\\\OTHER\\share\\mine.mdb");
  fake.PutKey(root + "MV2002-R1\\Engines\\Jet\\Extra");
  const auto changed = fake.Snapshot();

  EXPECT_EQ(Run({"/remove"}), 1);
  ASSERT_FALSE(fake.messageBoxes.empty());
  EXPECT_NE(fake.messageBoxes.back().text.find("Removal did not complete: 2 of 15"), std::string::npos);
  EXPECT_EQ(fake.Snapshot()[fake::Lower(root + "Marvane-S")], changed.at(fake::Lower(root + "Marvane-S")));
  EXPECT_TRUE(fake.HasKey(root + "MV2002-R1\\Engines\\Jet\\Extra"));
  EXPECT_TRUE(fake.GetValue(MdlODBC::kWow64Listing, "MV2002-R1"));
  EXPECT_FALSE(fake.HasKey(root + "Marvane-R"));
  EXPECT_FALSE(fake.GetValue(MdlODBC::kWow64Listing, "Marvane-R"));

  // Once the hand-made ones are gone, the registry is as it was before.
  for (const char* key : {"MV2002-R1\\Engines\\Jet\\Extra", "MV2002-R1\\Engines\\Jet", "MV2002-R1\\Engines",
                          "MV2002-R1", "Marvane-S\\Engines\\Jet", "Marvane-S\\Engines", "Marvane-S"})
    fake.RegDeleteKeyA(HKEY_LOCAL_MACHINE, (root + key).c_str());
  HKEY listing = 0;
  fake.RegOpenKeyExA(HKEY_LOCAL_MACHINE, MdlODBC::kWow64Listing, 0, KEY_SET_VALUE, &listing);
  fake.RegDeleteValueA(listing, "MV2002-R1");
  fake.RegDeleteValueA(listing, "Marvane-S");
  fake.RegCloseKey(listing);
  EXPECT_EQ(fake.Snapshot(), before);

  // Removing again is a no-op that succeeds.
  fake.ClearCalls();
  EXPECT_EQ(Run({"/x", "/q"}), 0);
  EXPECT_EQ(Writes(), 0);
}

TEST_F(DeploymentTest, FailedDeleteIsReportedAndStopsNothingElse) {
  ASSERT_EQ(Run({"/quiet"}), 0);
  fake.Fail("RegDeleteKeyA", 3 * 4 + 1, ERROR_ACCESS_DENIED);  // the fifth data source's Jet key
  const std::string logFile = ::testing::TempDir() + "remove.log";
  std::remove(logFile.c_str());
  EXPECT_EQ(Run({"/remove", "/quiet"}, logFile), 1);
  EXPECT_TRUE(fake.HasKey(std::string(MdlODBC::kWow64Root) + "Marvane-S2\\Engines\\Jet"));
  EXPECT_FALSE(fake.HasKey(std::string(MdlODBC::kWow64Root) + "MV2004-S2"));
  EXPECT_FALSE(fake.HasKey(std::string(MdlODBC::kWow64Root) + "Marvane-S1"));

  std::ifstream log(logFile);
  std::vector<std::string> lines;
  for (std::string line; std::getline(log, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 18u);
  EXPECT_EQ(lines[0].rfind("MarvaneSetup ", 0), 0u);
  EXPECT_NE(lines[0].find(" remove /quiet, "), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("SOFTWARE\\WOW6432node\\ODBC\\ODBC.INI, Windows Vista"), std::string::npos);
  EXPECT_EQ(lines[5],
            "Marvane-S2: failed: "
            "RegDeleteKeyA(\"SOFTWARE\\WOW6432node\\ODBC\\ODBC.INI\\Marvane-S2\\Engines\\Jet\") "
            "returned 5 (Access is denied.)");
  EXPECT_EQ(lines[6], "MV2002-R: removed");
  // With nobody to click it, the outcome box is a line of the log.
  EXPECT_EQ(lines[16].rfind("message \"Marvane Installation\": Removal did not complete: 1 of 15", 0), 0u);
  EXPECT_EQ(lines[17], "finished: 15 data sources: 14 removed, 1 failed; exit status 1");

  // The log is appended to: a second run adds its own lines after these.
  EXPECT_EQ(Run({"/check"}, logFile), 1);
  std::ifstream again(logFile);
  std::size_t count = 0;
  for (std::string line; std::getline(again, line);) ++count;
  EXPECT_EQ(count, 18u + 17u);
}

}  // namespace

namespace {

// A clock set back since the install: removal still takes every data
// source of the later years, while detection keeps to the clock's.
TEST_F(DeploymentTest, RemovalWithAClockSetBackLeavesNothingBehind) {
  fake.year = 2006;  // 25 data sources, through MV2005
  ASSERT_EQ(Run({"/quiet"}), 0);
  fake.year = 2003;
  EXPECT_EQ(Run({"/check"}), 0);
  EXPECT_EQ(Run({"/remove", "/quiet"}), 0);
  for (const char* name : {"MV2002-S2", "MV2003-R", "MV2005-S2"})
    EXPECT_FALSE(fake.HasKey(std::string(MdlODBC::kWow64Root) + name)) << name;
}

}  // namespace
