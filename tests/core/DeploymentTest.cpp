// The command line, and the unattended, detection and removal runs over the
// recording fake.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "FakeHost.h"
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
      // A switch after /log is a file name forgotten; a path from the root is a file name.
      {{"/log", "-remove"}, Mode::Invalid, false, ""},
      {{"/l", "/CHECK"}, Mode::Invalid, false, ""},
      {{"--log", "--quiet"}, Mode::Invalid, false, ""},
      {{"/log", "/var/log/setup.log"}, Mode::Install, false, "/var/log/setup.log"},
      {{"/REPAIR", "/q"}, Mode::Repair, true, ""},
      {{"-f"}, Mode::Repair, false, ""},
      {{"/repair", "/x"}, Mode::Invalid, false, ""},
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
  DeploymentTest() { Prepare(fake); }
  static void Prepare(fake::FakePlatform& platform) {
    platform.year = 2004;  // 15 data sources
    platform.PutValue("HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "Identifier", REG_SZ,
                      "Intel64 Family 6 Model 85 Stepping 7");
    // As on Windows: the ODBC keys are there before the program ever runs.
    platform.PutKey(MdlODBC::kWow64Listing);
    platform.PutValue(MdlODBC::kWow64Listing, "Other DSN", REG_SZ, "SQL Server");
    platform.PutValue("SOFTWARE\\Vendor", "Keep", REG_SZ, "this");
  }

  int Run(std::vector<std::string> arguments, const std::string& logFile = "") {
    return RunOn(fake, std::move(arguments), logFile);
  }
  int RunOn(fake::FakePlatform& platform, std::vector<std::string> arguments, const std::string& logFile,
            std::FILE* echo = nullptr) {
    if (!logFile.empty()) {
      arguments.push_back("/log");
      arguments.push_back(logFile);
    }
    const CommandLine command = ParseCommandLine(arguments);
    RunLog log;
    if (!command.logFile.empty()) log.WriteTo(logged.File(), command.logFile, logged);
    if (echo != nullptr) log.EchoTo(echo);
    out.clear();
    errors.clear();
    fake::FakeHost host(platform);
    host.interactive = interactive;
    return RunSetup(host, command, log, out, errors);
  }

  int Writes() const { return WritesOf(fake); }
  static int WritesOf(const fake::FakePlatform& platform) {
    return platform.CountOf("RegCreateKeyA") + platform.CountOf("RegSetValueExA") +
           platform.CountOf("RegDeleteKeyA") + platform.CountOf("RegDeleteValueA");
  }
  int WindowCalls() const { return WindowCallsOf(fake); }
  static int WindowCallsOf(const fake::FakePlatform& platform) {
    int count = 0;
    for (const char* op : {"Run", "Show", "Refresh", "MessageBoxA"}) count += platform.CountOf(op);
    return count;
  }

  std::vector<std::string> LoggedLines() const {
    std::istringstream text(logged.text);
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
  }

  fake::FakePlatform fake;
  fake::FakeLog logged;
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
  EXPECT_EQ(RunOn(fresh, {}, "unattended.log"), 1);
  EXPECT_EQ(WindowCallsOf(fresh), 0);
  const std::string& text = logged.text;
  EXPECT_NE(text.find("nobody can see"), std::string::npos) << text;
  EXPECT_NE(text.find("message \"Setup\": Failed to get OS Version"), std::string::npos) << text;
  EXPECT_NE(text.find("Marvane-R: failed: error: GetVersionExA failed"), std::string::npos) << text;
}

TEST_F(DeploymentTest, CheckReadsOnlyAndTellsMissingFromComplete) {
  EXPECT_EQ(Run({"/check"}), 1);
  EXPECT_EQ(Writes(), 0);
  EXPECT_EQ(WindowCalls(), 0);
  EXPECT_NE(out.find("MV2002-R: missing: no key SOFTWARE\\WOW6432node\\ODBC\\ODBC.INI\\MV2002-R; not listed "
                     "under SOFTWARE\\WOW6432node\\ODBC\\ODBC.INI\\ODBC Data Sources\n"),
            std::string::npos)
      << out;

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
  EXPECT_EQ(out,
            "MV2003-S: missing: not listed under SOFTWARE\\WOW6432node\\ODBC\\ODBC.INI\\ODBC Data Sources\n");
}

TEST_F(DeploymentTest, RemovalLeavesTheRegistryAsBeforeTheRunButForWhatWasChangedByHand) {
  const auto before = fake.Snapshot();
  ASSERT_EQ(Run({"/quiet"}), 0);
  // Changed by hand: another path; keys of its own below another one.
  const std::string root = MdlODBC::kWow64Root;
  fake.PutValue(root + "Marvane-S", "DBQ", REG_SZ, "\\\\OTHER\\share\\mine.mdb");
  fake.PutKey(root + "MV2002-R1\\Engines\\Jet\\Extra");
  const auto changed = fake.Snapshot();

  // Every data source that is ours is gone: done, with a warning for each one left.
  EXPECT_EQ(Run({"/remove"}, "remove.log"), 0);
  ASSERT_FALSE(fake.messageBoxes.empty());
  EXPECT_NE(fake.messageBoxes.back().text.find("Removal Complete. 2 of 15 data sources were changed by hand"),
            std::string::npos);
  std::vector<std::string> warnings;
  for (const std::string& line : LoggedLines())
    if (line.find("warning:") != std::string::npos || line.find("error") != std::string::npos)
      warnings.push_back(line.substr(line.find("] ") + 2));
  EXPECT_EQ(warnings, (std::vector<std::string>{
                          "Marvane-S: left: warning: its DBQ is \"\\\\OTHER\\share\\mine.mdb\"",
                          "MV2002-R1: left: warning: it has keys below " + root +
                              "MV2002-R1\\Engines\\Jet that this program does not write: \"Extra\""}));
  EXPECT_EQ(LoggedLines().back(), std::string(fake::FakeLog::kStamp) +
                                      "finished: 15 data sources: 13 removed, 2 left; exit status 0");
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

// A repair of a data source changed by hand and one with a value added by
// hand: the value is named and makes the exit status 1 until it is gone.
TEST_F(DeploymentTest, RepairIsDoneOnlyWhenEveryDataSourceIsExact) {
  ASSERT_EQ(Run({"/quiet"}), 0);
  const std::string root = MdlODBC::kWow64Root;
  fake.PutKey(root + "Marvane-S1").RemoveValue("Description");
  fake.PutValue(root + "MV2002-S", "PWD", REG_SZ, "secret");
  EXPECT_EQ(Run({"/repair", "/quiet"}, "repair.log"), 1);
  const std::vector<std::string> lines = LoggedLines();
  EXPECT_NE(lines.front().find(" repair /quiet, file server VLKDATA01, "), std::string::npos) << lines[0];
  EXPECT_EQ(lines.back(), std::string(fake::FakeLog::kStamp) +
                              "finished: 15 data sources: 1 repaired, 13 exact, 1 left; exit status 1");
  fake.PutKey(root + "MV2002-S").RemoveValue("PWD");
  EXPECT_EQ(Run({"/repair", "/quiet"}), 0);
  EXPECT_EQ(Run({"/remove", "/quiet"}), 0);
  EXPECT_FALSE(fake.HasKey(root + "Marvane-S1") || fake.HasKey(root + "MV2002-S"));
}

TEST_F(DeploymentTest, FailedDeleteIsReportedAndStopsNothingElse) {
  ASSERT_EQ(Run({"/quiet"}), 0);
  fake.Fail("RegDeleteKeyA", 3 * 4 + 1, ERROR_ACCESS_DENIED);  // the fifth data source's Jet key
  const std::string logFile = "remove.log";
  EXPECT_EQ(Run({"/remove", "/quiet"}, logFile), 1);
  EXPECT_TRUE(fake.HasKey(std::string(MdlODBC::kWow64Root) + "Marvane-S2\\Engines\\Jet"));
  EXPECT_FALSE(fake.HasKey(std::string(MdlODBC::kWow64Root) + "MV2004-S2"));
  EXPECT_FALSE(fake.HasKey(std::string(MdlODBC::kWow64Root) + "Marvane-S1"));

  const std::vector<std::string> lines = LoggedLines();
  const std::string stamp = fake::FakeLog::kStamp;
  ASSERT_EQ(lines.size(), 18u);
  EXPECT_EQ(lines[0].rfind(stamp + "MarvaneSetup ", 0), 0u);
  EXPECT_NE(lines[0].find(" remove /quiet, "), std::string::npos) << lines[0];
  EXPECT_NE(
      lines[0].find("SOFTWARE\\WOW6432node\\ODBC\\ODBC.INI, Windows Vista (running on Windows 10.0 build "
                    "19045), "),
      std::string::npos);
  EXPECT_EQ(lines[5],
            stamp +
                "Marvane-S2: failed: error: "
                "RegDeleteKeyA(\"SOFTWARE\\WOW6432node\\ODBC\\ODBC.INI\\Marvane-S2\\Engines\\Jet\") "
                "returned 5 (Access is denied.)");
  EXPECT_EQ(lines[6], stamp + "MV2002-R: removed");
  // With nobody to click it, the outcome box is a line of the log.
  EXPECT_EQ(lines[16].rfind(stamp + "message \"Marvane Installation\": Removal did not complete: 1 of 15", 0),
            0u);
  EXPECT_EQ(lines[17], stamp + "finished: 15 data sources: 14 removed, 1 failed; exit status 1");

  // The log is appended to: a second run adds its own lines after these.
  EXPECT_EQ(Run({"/check"}, logFile), 1);
  EXPECT_EQ(LoggedLines().size(), 18u + 17u);
}

// A line the log file or the echo does not take: the first one stops the run
// before anything changes; any later one lets the registry work go on but
// is said once on the error stream and makes the exit status 1, which the
// last line says when it gets written.
TEST_F(DeploymentTest, LogLinesNotWrittenChangeTheExitStatus) {
  ASSERT_EQ(Run({"/quiet"}, "clean.log"), 0);
  const int lineCount = static_cast<int>(LoggedLines().size());
  const int writes = Writes();
  struct Case {
    int failAt;
    bool echoFails;
    int status;
    bool registryWork;
    bool lastLineSays1;
  };
  const Case cases[] = {
      {1, false, 2, false, false},         // the header
      {2, false, 1, true, true},           // the first data source's line
      {lineCount, false, 1, true, false},  // the last line, after the status was decided
      {0, true, 1, true, true},            // the echo on standard output
  };
  const std::string readOnly = ::testing::TempDir() + "read-only-echo";
  std::fclose(std::fopen(readOnly.c_str(), "wb"));
  for (const Case& c : cases) {
    fake::FakePlatform fresh;
    Prepare(fresh);
    logged = fake::FakeLog{};
    logged.failAt = c.failAt;
    std::FILE* echo = c.echoFails ? std::fopen(readOnly.c_str(), "rb") : nullptr;
    const std::string shown = "failAt " + std::to_string(c.failAt) + (c.echoFails ? ", echo" : "");
    EXPECT_EQ(RunOn(fresh, {"/quiet"}, "x:\\setup.log", echo), c.status) << shown;
    if (echo != nullptr) std::fclose(echo);
    EXPECT_EQ(WritesOf(fresh), c.registryWork ? writes : 0) << shown;
    const std::string named = c.echoFails ? "standard output" : "\"x:\\setup.log\"";
    const std::size_t said = errors.find(named);
    EXPECT_TRUE(said != std::string::npos && errors.find(named, said + 1) == std::string::npos)
        << shown << ": " << errors;
    if (!c.echoFails && c.failAt > 1) {
      EXPECT_NE(errors.find(" from its line " + std::to_string(c.failAt) + " of this run"), std::string::npos)
          << shown << ": " << errors;
    }
    const std::vector<std::string> lines = LoggedLines();
    EXPECT_EQ(!lines.empty() && lines.back().ends_with("exit status 1"), c.lastLineSays1) << shown;
  }
}

TEST(LocalTimeStampTest, OffsetsEastAndWestOfUtc) {
  const platform::SYSTEMTIME time{2026, 3, 0, 9, 7, 5, 3, 0};
  EXPECT_EQ(LocalTimeStamp(time, 60), "2026-03-09T07:05:03+01:00");
  EXPECT_EQ(LocalTimeStamp(time, -210), "2026-03-09T07:05:03-03:30");
  EXPECT_EQ(LocalTimeStamp(time, 0), "2026-03-09T07:05:03+00:00");
}

// A clock set back since the install: removal still takes every data
// source of the later years, found by its key or by its entry alone, while
// detection keeps to the clock's.
TEST_F(DeploymentTest, RemovalWithAClockSetBackLeavesNothingBehind) {
  fake.year = 2006;  // 25 data sources, through MV2005
  ASSERT_EQ(Run({"/quiet"}), 0);
  fake.PutValue(MdlODBC::kWow64Listing, "MV2033-R", REG_SZ, MdlODBC::kDriverName);
  fake.year = 2003;
  EXPECT_EQ(Run({"/check"}), 0);
  EXPECT_EQ(Run({"/remove", "/quiet"}), 0);
  for (const char* name : {"MV2002-S2", "MV2003-R", "MV2005-S2"})
    EXPECT_FALSE(fake.HasKey(std::string(MdlODBC::kWow64Root) + name)) << name;
  EXPECT_FALSE(fake.GetValue(MdlODBC::kWow64Listing, "MV2033-R"));
}

}  // namespace
