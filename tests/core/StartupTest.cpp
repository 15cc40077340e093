// The start of a run over the fake process: what is opened, in which
// order, and the status when something stops it.
#include <gtest/gtest.h>

#include "FakeHost.h"
#include "setup/Startup.h"

namespace {

TEST(StartupTest, RightsThenLogThenHostAndNothingOpenedBeforeARefusal) {
  const std::string log = "C:\\Windows\\Logs\\x.log";
  struct Case {
    std::vector<std::string> arguments;
    bool elevated;
    int logFails;  // 0 the log opens, 1 it is refused, 2 it stays in use
    int status;
    bool logOpened;
    const char* host;  // how the host was opened, "" not at all
  };
  const Case cases[] = {
      {{"/quiet"}, false, 0, 740, false, ""},
      {{"/remove", "/quiet"}, false, 0, 740, false, ""},
      {{"/quiet", "/log", log}, false, 0, 740, false, ""},
      {{"/x", "/l", log}, false, 0, 740, false, ""},
      {{"/repair", "/log", log}, false, 0, 740, false, ""},
      // Looking needs no rights: every data source is missing from the empty registry.
      {{"/check"}, false, 0, 1, false, "OpenHost(read-only)"},
      {{"/verify", "/log", log}, false, 0, 1, true, "OpenHost(read-only)"},
      {{"/quiet", "/log", log}, true, 0, 0, true, "OpenHost(read-write)"},
      {{"/quiet", "/log", log}, true, 1, 2, true, ""},
      {{"/remove", "/log", log}, true, 2, 1618, true, ""},
      {{"/repair", "/quiet"}, true, 0, 0, false, "OpenHost(read-write)"},
      {{"/bogus"}, false, 0, 87, false, ""},
  };
  for (const Case& c : cases) {
    fake::FakeProcess process;
    process.elevated = c.elevated;
    process.logInUse = c.logFails == 2;
    if (c.logFails != 0) process.Fail("OpenLogFile", 0);
    std::string out;
    std::string errors;
    const std::string shown =
        c.arguments[0] + (c.elevated ? " elevated" : "") + " " + std::to_string(c.logFails);
    EXPECT_EQ(StartSetup(process, c.arguments, std::chrono::milliseconds(0), out, errors), c.status) << shown;
    EXPECT_EQ(process.CountOf("OpenLogFile"), c.logOpened ? 1 : 0) << shown;
    const std::vector<std::string> host = process.CallTexts("OpenHost");
    EXPECT_EQ(host.empty() ? "" : host[0], c.host) << shown;
    EXPECT_EQ(process.platform.CallTexts().empty(), *c.host == '\0') << shown;
    EXPECT_EQ(errors.find("the data sources needs administrator rights") != std::string::npos,
              c.status == 740)
        << shown;
  }
}

}  // namespace
