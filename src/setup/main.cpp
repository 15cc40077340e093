// MarvaneSetup: registers the ODBC data sources of the Marvane databases on
// this workstation, then exits. With switches it also runs unattended,
// writes a log, checks without changing anything, or removes what it
// registers (see UsageText).
//
// Exit status: 0 done; 1 not done (some data sources failed, are missing or
// were left); 2 the machine registry or the log could not be opened, nothing
// changed; 87 the command line was not understood; 740 installing or
// removing needs administrator rights; 1618 another run kept the machine for
// a minute.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/Host.h"
#include "platform/LogFile.h"
#include "setup/CommandLine.h"
#include "setup/RunLog.h"
#include "setup/SetupProgram.h"

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
  const bool reportOnOutput = platform::AttachStandardOutput();
  const CommandLine command =
      ParseCommandLine(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
  if (command.mode == Mode::Help) {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }
  if (command.mode == Mode::Invalid) {
    std::fprintf(stderr, "MarvaneSetup: %s\n\n%s", command.error.c_str(), UsageText().c_str());
    return kBadCommandLineStatus;
  }

  // Before the registry: a log that is refused stops the run before anything changes.
  RunLog log;
  if (!command.logFile.empty()) {
    platform::OpenedLogFile opened = platform::OpenLogFile(command.logFile, kRunWait);
    if (!opened.file) {
      std::fprintf(stderr, "%s\n", opened.error.c_str());
      return opened.busy ? platform::kAlreadyRunningStatus : platform::kCannotOpenStatus;
    }
    log.WriteTo(std::move(opened.file), command.logFile, platform::ProcessLogStamps());
  }
  if (reportOnOutput) log.EchoTo(stdout);

  platform::OpenedHost opened =
      platform::OpenHost(command.mode == Mode::Check || command.mode == Mode::Verify, kRunWait);
  if (!opened.host) {
    std::fprintf(stderr, "%s\n", opened.error.c_str());
    log.Line("error: " + opened.error);
    log.Line("finished: nothing done; exit status " + std::to_string(opened.status));
    if (const std::string trouble = log.Trouble(); !trouble.empty())
      std::fprintf(stderr, "%s\n", trouble.c_str());
    return opened.status;
  }
  std::string out;
  std::string errors;
  const int status = RunSetup(*opened.host, command, log, out, errors);
  std::fputs(out.c_str(), stdout);
  std::fflush(stdout);  // before the errors, where both go to one console
  std::fputs(errors.c_str(), stderr);
  // A look at a file that never came back may still hold a thread (/verify).
  opened.host.reset();
  platform::ExitProcess(static_cast<unsigned>(status));
}
