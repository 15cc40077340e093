// MarvaneSetup: registers the ODBC data sources of the Marvane databases on
// this workstation, then exits. With switches it also runs unattended,
// writes a log, checks without changing anything, verifies that each data
// source can work, repairs what was changed by hand, or removes what it
// registers (see UsageText).
//
// Exit status: 0 done; 1 not done (some data sources failed, are missing,
// cannot work or are not what this program writes); 2 the machine registry
// or the log could not be opened, nothing changed; 87 the command line was
// not understood; 740 installing, repairing or removing needs administrator
// rights; 1618 another run kept the machine (or the log) for a minute.
#include <chrono>
#include <cstdio>
#include <string>

#include "platform/FileSystem.h"
#include "platform/LogFile.h"
#include "platform/Process.h"
#include "setup/Startup.h"

namespace {

// A test build of this program (tests/CMakeLists.txt) gives up sooner, so
// that a run kept waiting by another can be tested in seconds.
#ifdef MARVANE_TEST_RUN_WAIT_MS
constexpr std::chrono::milliseconds kRunWait{MARVANE_TEST_RUN_WAIT_MS};
#else
constexpr std::chrono::milliseconds kRunWait = platform::kRunWait;
#endif

}  // namespace

int main(int argc, char** argv) {
  platform::ReportFailedWritesAsErrors();
  std::string out;
  std::string errors;
  const int status =
      StartSetup(platform::ThisProcess(), platform::ProgramArguments(argc, argv), kRunWait, out, errors);
  std::fputs(out.c_str(), stdout);
  std::fflush(stdout);  // before the errors, where both go to one console
  std::fputs(errors.c_str(), stderr);
  // The host is closed by now; a look at a file that never came back may
  // still hold a thread (/verify), which must not keep the process.
  platform::ExitProcess(static_cast<unsigned>(status));
}
