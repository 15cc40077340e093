// /verify over the recording fake: from a machine where every data source
// can work, one fault per row, each reason naming what it looked at.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "FakeHost.h"
#include "setup/SetupProgram.h"

using namespace platform;
namespace {

const std::string drivers = "SOFTWARE\\WOW6432node\\ODBC\\ODBCINST.INI\\Microsoft Access Driver (*.mdb)";
const std::string share = "\\\\vlkdata01\\vlk-data\\", driver = "c:\\windows\\syswow64\\odbcjt32.dll";

// The platform with the files /verify looks at, installed for 2003 (10 data
// sources), every one of which can work.
struct Fake : fake::FakePlatform {
  fake::FakeFiles disk;
  fake::FakeHost host{*this, &disk};
  Fake() {
    year = 2003;
    PutValue("HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "Identifier", REG_SZ, "Intel64 Family 6");
    RunLog log;
    std::string out, errors;
    EXPECT_EQ(RunSetup(host, CommandLine{}, log, out, errors), 0);
    PutValue(drivers, "Driver", REG_SZ, "C:\\WINDOWS\\system32\\odbcjt32.dll");
    disk.files[driver] = FILE_ATTRIBUTE_ARCHIVE;
    for (const char* folder : {"current\\", "mv-2002\\"})
      for (const char* ledger : {"r", "r1", "s", "s1", "s2"})
        disk.files[share + folder + "marvane-" + ledger + ".mdb"] = FILE_ATTRIBUTE_ARCHIVE;
  }
  // Runs /verify; its exit status, a line per data source and the counts in out.
  int Verify(std::string& out) {
    ClearCalls();
    disk.ClearCalls();
    RunLog log;
    std::string errors;
    return RunSetup(host, ParseCommandLine({"/verify"}), log, out, errors);
  }
};

// The lines of text that hold part.
int Lines(const std::string& text, const std::string& part) {
  std::istringstream lines(text);
  int count = 0;
  for (std::string line; std::getline(lines, line);) count += line.find(part) != std::string::npos;
  return count;
}

}  // namespace

TEST(VerifyTest, EveryReasonNamesWhatItLookedAt) {
  const struct {
    const char* fault;
    std::function<void(Fake&)> arrange;
    std::string who;  // the data source reported, "*" every one (Marvane-R's reason checked), "" none
    const char* reason;
    bool whole = false;  // the reason is all that is said
  } cases[] = {
      {"none", [](Fake&) {}, "", ""},
      {"driver only where 64-bit programs look", [&](Fake& f) { f.disk.files.erase(driver); }, "*",
       "Driver file C:\\WINDOWS\\system32\\odbcjt32.dll, for 32-bit programs "
       "C:\\WINDOWS\\SysWOW64\\odbcjt32.dll: 2 ("},
      {"32-bit Windows redirects nothing", [](Fake& f) { f.disk.wow64Directory.clear(); }, "*",
       "Driver file C:\\WINDOWS\\system32\\odbcjt32.dll: 2 ("},
      {"driver not registered", [&](Fake& f) { f.RegDeleteKeyA(HKEY_LOCAL_MACHINE, drivers.c_str()); }, "*",
       "driver \"Microsoft Access Driver (*.mdb)\" not registered: no key "
       "SOFTWARE\\WOW6432node\\ODBC\\ODBCINST.INI\\"},
      {"driver registration names a missing file",
       [&](Fake& f) { f.PutValue(drivers, "Driver", REG_SZ, "C:\\x.dll"); }, "*",
       "driver \"Microsoft Access Driver (*.mdb)\": its Driver file C:\\x.dll: 2 ("},
      {"files denied to this user",
       [](Fake& f) { f.disk.Fail("GetFileAttributesA", 0, ERROR_ACCESS_DENIED); }, "*",
       "DBQ file \\\\VLKDATA01\\VLK-Data\\Current\\Marvane-R.mdb: 5 (Access is denied.)"},
      {"one database missing", [&](Fake& f) { f.disk.files.erase(share + "mv-2002\\marvane-s1.mdb"); },
       "MV2002-S1", "DBQ file \\\\VLKDATA01\\VLK-Data\\MV-2002\\Marvane-S1.mdb: 2 ("},
      {"a folder for a database",
       [&](Fake& f) { f.disk.files[share + "current\\marvane-r1.mdb"] = FILE_ATTRIBUTE_DIRECTORY; },
       "Marvane-R1",
       "DBQ file \\\\VLKDATA01\\VLK-Data\\Current\\Marvane-R1.mdb: a folder, not a regular file"},
      {"a FIFO or device for the driver",
       [&](Fake& f) { f.disk.files[driver] = FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_ARCHIVE; }, "*",
       "SysWOW64\\odbcjt32.dll: a device or pipe, not a regular file"},
      {"server does not answer", [](Fake& f) { f.disk.slow["\\\\VLKDATA01\\VLK-DATA"] = INFINITE; }, "*",
       "Marvane-R.mdb: \\\\VLKDATA01\\VLK-Data did not answer within 5 s"},
      {"not registered", [](Fake& f) { f.Fail("RegOpenKeyExA", 0, ERROR_FILE_NOT_FOUND); }, "*",
       "not complete: no key SOFTWARE\\WOW6432node\\ODBC\\ODBC.INI\\Marvane-R; not listed under "
       "SOFTWARE\\WOW6432node\\ODBC\\ODBC.INI\\ODBC Data Sources",
       true},
  };
  for (const auto& c : cases) {
    Fake f;
    c.arrange(f);
    std::string out;
    EXPECT_EQ(f.Verify(out), c.who.empty() ? 0 : 1) << c.fault;
    std::istringstream lines(out);
    int count = 0;
    for (std::string line; count < 10 && std::getline(lines, line); ++count) {
      const std::string name = line.substr(0, line.find(": "));
      const bool named = c.who == "*" || name == c.who;
      EXPECT_EQ(line.rfind(name + (named ? ": error: " : ": ok"), 0), 0u) << c.fault << ": " << line;
      const bool reasonShown = named && (c.who != "*" || name == "Marvane-R");
      EXPECT_NE(reasonShown ? line.find(c.reason) : 0, std::string::npos) << c.fault << ": " << line;
      EXPECT_EQ(reasonShown && c.whole ? line.substr(line.find(": error: ") + 9) : "",
                reasonShown && c.whole ? c.reason : "");
    }
    std::string summary;
    std::getline(lines, summary);
    EXPECT_EQ(summary, "10 data sources: " + std::string(c.who.empty()  ? "10 ok"
                                                         : c.who == "*" ? "10 not usable"
                                                                        : "9 ok, 1 not usable"));
    // Read only, no window; every look within the limit of its share or drive.
    EXPECT_EQ(f.CountOf("RegCreateKeyA") + f.CountOf("RegSetValueExA") + f.CountOf("Show"), 0) << c.fault;
    EXPECT_LE(f.disk.now, 5000u) << c.fault;
  }
}

// Every look at a share's or drive's files counts against its limit: one
// answering each look slowly, or one look never, has the rest of its data
// sources reported, within the limit in all (the fake's clock moves only
// while the program waits), and a look still blocked is asked to give up.
TEST(VerifyTest, EachShareOrDriveHasOneTimeLimitForAllItsLooks) {
  const struct {
    const char* root;
    DWORD eachLook;
    int ok, looks, cancels;  // looks: 2 at the driver file, 1 at each database reached
  } cases[] = {
      {"\\\\vlkdata01\\vlk-data", 1000, 5, 7, 0},      // the fifth ends just in time
      {"\\\\vlkdata01\\vlk-data", 3000, 1, 4, 2},      // the second is given 2 s; cancelled, again at the end
      {"\\\\vlkdata01\\vlk-data", INFINITE, 0, 3, 2},  // the first never comes back
      {"c:", INFINITE, 0, 11, 2},                      // the driver's drive; the share is not held up
  };
  for (const auto& c : cases) {
    Fake f;
    f.disk.slow[c.root] = c.eachLook;
    std::string out;
    EXPECT_EQ(f.Verify(out), 1) << out;
    EXPECT_EQ(Lines(out, ": ok"), c.ok) << out;
    EXPECT_EQ(Lines(out, " did not answer within 5 s"), 10 - c.ok) << out;
    EXPECT_EQ(f.disk.now, 5000u) << out;
    EXPECT_EQ(f.disk.CountOf("GetFileAttributesA"), c.looks) << out;
    EXPECT_EQ(f.disk.CountOf("CancelSynchronousIo"), c.cancels) << out;
    EXPECT_EQ(f.disk.CountOf("CloseHandle"), f.disk.CountOf("CreateThread")) << out;
  }
}

// A device or pipe is told by its name alone and never looked at: even a
// look at its attributes would open it.
TEST(VerifyTest, DevicesAndPipesAreToldByTheirNames) {
  const std::string paths[] = {"\\\\.\\pipe\\marvane", "//?/GLOBALROOT/Device/Null", "\\\\VLKDATA01\\PIPE\\x",
                               "\\\\?\\UNC\\VLKDATA01\\mailslot\\x", "C:\\Data\\Nul .mdb", "C:\\Data\\com7",
                               // files:
                               "\\\\?\\C:\\Data\\Marvane-R.mdb", "C:\\Data\\com10.mdb",
                               "C:\\Data\\console.mdb"};
  for (int i = 0; i < 9; ++i) {
    Fake f;
    f.PutValue("SOFTWARE\\WOW6432node\\ODBC\\ODBC.INI\\Marvane-R", "DBQ", REG_SZ, paths[i]);
    std::string out;
    f.Verify(out);
    const bool device = i < 6;
    EXPECT_EQ(out.rfind("Marvane-R: error: DBQ file " + paths[i] +
                            (device ? ": a device or pipe, not a regular file\n" : ": 2 ("),
                        0),
              0u)
        << out;
    EXPECT_EQ(f.disk.CountOf("GetFileAttributesA"), device ? 11 : 12) << paths[i];
  }
}
