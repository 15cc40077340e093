// /verify over the recording fake: from a machine where every data source
// can work, one fault per row, each reason naming what it looked at.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "FakeHost.h"
#include "setup/SetupProgram.h"

using namespace platform;
// The platform with the files /verify looks at.
struct Fake : fake::FakePlatform {
  fake::FakeFiles disk;
};

TEST(VerifyTest, EveryReasonNamesWhatItLookedAt) {
  const std::string drivers = "SOFTWARE\\WOW6432node\\ODBC\\ODBCINST.INI\\Microsoft Access Driver (*.mdb)";
  const std::string share = "\\\\vlkdata01\\vlk-data\\", driver = "c:\\windows\\syswow64\\odbcjt32.dll";
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
       "Marvane-R1", "DBQ file \\\\VLKDATA01\\VLK-Data\\Current\\Marvane-R1.mdb: a folder, not a file"},
      {"server does not answer", [](Fake& f) { f.disk.stalled = "\\\\VLKDATA01\\VLK-DATA"; }, "*",
       "Marvane-R.mdb: \\\\VLKDATA01\\VLK-Data did not answer within 5 s"},
      {"not registered", [](Fake& f) { f.Fail("RegOpenKeyExA", 0, ERROR_FILE_NOT_FOUND); }, "*",
       "not registered: no key SOFTWARE\\WOW6432node\\ODBC\\ODBC.INI\\Marvane-R; not complete: not listed "
       "under "
       "SOFTWARE\\WOW6432node\\ODBC\\ODBC.INI\\ODBC Data Sources",
       true},
  };
  for (const auto& c : cases) {
    Fake f;
    f.year = 2003;  // 10 data sources
    f.PutValue("HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "Identifier", REG_SZ,
               "Intel64 Family 6");
    fake::FakeHost host(f, &f.disk);
    RunLog log;
    std::string out, errors;
    ASSERT_EQ(RunSetup(host, errors), 0);
    f.PutValue(drivers, "Driver", REG_SZ, "C:\\WINDOWS\\system32\\odbcjt32.dll");
    f.disk.files[driver] = FILE_ATTRIBUTE_ARCHIVE;
    for (const char* year : {"current\\", "mv-2002\\"})
      for (const char* ledger : {"r", "r1", "s", "s1", "s2"})
        f.disk.files[share + year + "marvane-" + ledger + ".mdb"] = FILE_ATTRIBUTE_ARCHIVE;
    c.arrange(f);
    f.ClearCalls();
    f.disk.ClearCalls();

    EXPECT_EQ(RunSetup(host, ParseCommandLine({"/verify"}), log, out, errors), c.who.empty() ? 0 : 1)
        << c.fault;
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
                                                         : c.who == "*" ? "10 error"
                                                                        : "9 ok, 1 error"));
    // Read only, no window; each drive and share asked once, within the limit.
    EXPECT_EQ(f.CountOf("RegCreateKeyA") + f.CountOf("RegSetValueExA") + f.CountOf("Show"), 0) << c.fault;
    const std::vector<std::string> waits = f.disk.CallTexts("CreateThreadAndWait");
    EXPECT_LE(waits.size(), 2u) << c.fault;
    for (const std::string& wait : waits) EXPECT_EQ(wait, "CreateThreadAndWait(5000)");
  }
}
