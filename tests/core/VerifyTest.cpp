// /verify over the recording fake: every reason a data source cannot work,
// one fault per row, from a machine where all of them can.
#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "FakePlatform.h"
#include "odbc/MdlODBC.h"
#include "setup/CommandLine.h"
#include "setup/SetupProgram.h"

using namespace platform;

namespace {

const std::string kDrivers = "SOFTWARE\\WOW6432node\\ODBC\\ODBCINST.INI\\Microsoft Access Driver (*.mdb)";
const std::string kShare = "\\\\vlkdata01\\vlk-data\\";

int RunMode(fake::FakePlatform& fake, const std::string& mode, std::string& out) {
  fake::FakeHost host(fake);
  RunLog log;
  std::string errors;
  out.clear();
  return RunSetup(host, ParseCommandLine({mode}), log, out, errors);
}

TEST(VerifyTest, EveryReasonNamesWhatItLookedAt) {
  struct Case {
    const char* fault;
    std::function<void(fake::FakePlatform&)> arrange;
    const char* who;  // the data source reported, "*" every one, "" none
    const char* reason;
  };
  const Case cases[] = {
      {"none", [](fake::FakePlatform&) {}, "", ""},
      {"driver only where 64-bit programs look",
       [](fake::FakePlatform& f) {
         f.files["c:\\windows\\system32\\odbcjt32.dll"] =
             f.files.extract("c:\\windows\\syswow64\\odbcjt32.dll").mapped();
       },
       "*",
       "Driver file C:\\WINDOWS\\system32\\odbcjt32.dll, for 32-bit programs "
       "C:\\WINDOWS\\SysWOW64\\odbcjt32.dll: 2 ("},
      {"32-bit Windows: nothing redirected", [](fake::FakePlatform& f) { f.wow64Directory.clear(); }, "*",
       "Driver file C:\\WINDOWS\\system32\\odbcjt32.dll: 2 ("},
      {"driver registered in the other branch only",
       [](fake::FakePlatform& f) {
         f.RegDeleteKeyA(HKEY_LOCAL_MACHINE, kDrivers.c_str());
         f.PutValue("SOFTWARE\\ODBC\\ODBCINST.INI\\Microsoft Access Driver (*.mdb)", "Driver", REG_SZ,
                    "C:\\x.dll");
       },
       "*",
       "driver \"Microsoft Access Driver (*.mdb)\" not registered: no key "
       "SOFTWARE\\WOW6432node\\ODBC\\ODBCINST.INI\\"},
      {"driver registration names a missing file",
       [](fake::FakePlatform& f) { f.PutValue(kDrivers, "Driver", REG_SZ, "C:\\gone.dll"); }, "*",
       "driver \"Microsoft Access Driver (*.mdb)\": its Driver file C:\\gone.dll: 2 ("},
      {"every file denied to this user",
       [](fake::FakePlatform& f) { f.Fail("GetFileAttributesA", 0, ERROR_ACCESS_DENIED); }, "*",
       "DBQ file \\\\VLKDATA01\\VLK-Data\\Current\\Marvane-R.mdb: 5 (Access is denied.)"},
      {"one database missing",
       [](fake::FakePlatform& f) { f.files.erase(kShare + "mv-2002\\marvane-s1.mdb"); }, "MV2002-S1",
       "DBQ file \\\\VLKDATA01\\VLK-Data\\MV-2002\\Marvane-S1.mdb: 2 ("},
      {"a folder where a database should be",
       [](fake::FakePlatform& f) { f.files[kShare + "current\\marvane-r1.mdb"] = FILE_ATTRIBUTE_DIRECTORY; },
       "Marvane-R1", "DBQ file \\\\VLKDATA01\\VLK-Data\\Current\\Marvane-R1.mdb: a folder, not a file"},
      {"server does not answer", [](fake::FakePlatform& f) { f.stalled = "\\\\VLKDATA01\\VLK-DATA"; }, "*",
       "DBQ file \\\\VLKDATA01\\VLK-Data\\Current\\Marvane-R.mdb: \\\\VLKDATA01\\VLK-Data did not answer "
       "within 5 s"},
      {"not registered",
       [](fake::FakePlatform& f) {
         for (const char* key : {"MV2002-R\\Engines\\Jet", "MV2002-R\\Engines", "MV2002-R"})
           f.RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(MdlODBC::kWow64Root) + key).c_str());
       },
       "MV2002-R", "not registered: no key SOFTWARE\\WOW6432node\\ODBC\\ODBC.INI\\MV2002-R"},
      {"cut short before it was listed",
       [](fake::FakePlatform& f) {
         HKEY listing = 0;
         f.RegOpenKeyExA(HKEY_LOCAL_MACHINE, MdlODBC::kWow64Listing, 0, KEY_SET_VALUE, &listing);
         f.RegDeleteValueA(listing, "MV2002-S2");
         f.RegCloseKey(listing);
       },
       "MV2002-S2",
       "not complete: not listed under SOFTWARE\\WOW6432node\\ODBC\\ODBC.INI\\ODBC Data Sources"},
  };
  for (const Case& c : cases) {
    fake::FakePlatform fake;
    fake.year = 2003;  // 10 data sources
    fake.PutValue("HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "Identifier", REG_SZ,
                  "Intel64 Family 6");
    std::string out;
    ASSERT_EQ(RunMode(fake, "/quiet", out), 0);
    fake.PutValue(kDrivers, "Driver", REG_SZ, "C:\\WINDOWS\\system32\\odbcjt32.dll");
    fake.files["c:\\windows\\syswow64\\odbcjt32.dll"] = FILE_ATTRIBUTE_ARCHIVE;
    for (const char* folder : {"current", "mv-2002"})
      for (const char* ledger : {"r", "r1", "s", "s1", "s2"})
        fake.files[kShare + folder + "\\marvane-" + ledger + ".mdb"] = FILE_ATTRIBUTE_ARCHIVE;
    c.arrange(fake);
    fake.ClearCalls();

    EXPECT_EQ(RunMode(fake, "/verify", out), *c.who ? 1 : 0) << c.fault;
    std::vector<std::string> lines;
    std::istringstream text(out);
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 11u) << c.fault << ": " << out;
    EXPECT_EQ(lines.back(), std::string("10 data sources: ") + (!*c.who         ? "10 ok"
                                                                : *c.who == '*' ? "10 error"
                                                                                : "9 ok, 1 error"))
        << c.fault;
    lines.pop_back();
    for (const std::string& line : lines) {
      const std::string name = line.substr(0, line.find(": "));
      const bool named = std::string(c.who) == "*" || name == c.who;
      if (!named) {
        EXPECT_EQ(line, name + ": ok") << c.fault;
      } else {
        EXPECT_EQ(line.find(name + ": error: "), 0u) << c.fault << ": " << line;
        if (*c.who != '*' || name == "Marvane-R") {
          EXPECT_NE(line.find(c.reason), std::string::npos) << c.fault << ": " << line;
        }
      }
    }
    // Read only, no window; each drive and share asked once, within the limit.
    EXPECT_EQ(fake.CountOf("RegCreateKeyA") + fake.CountOf("RegSetValueExA"), 0) << c.fault;
    EXPECT_EQ(fake.CountOf("MessageBoxA") + fake.CountOf("Show"), 0) << c.fault;
    EXPECT_EQ(fake.CallTexts("CreateThreadAndWait"), std::vector<std::string>(2, "CreateThreadAndWait(5000)"))
        << c.fault;
  }
}

}  // namespace
