#include "setup/Startup.h"

#include <cstdio>

#include "setup/CommandLine.h"
#include "setup/RunLog.h"
#include "setup/SetupProgram.h"

int StartSetup(platform::Process& process, const std::vector<std::string>& arguments,
               std::chrono::milliseconds runWait, std::string& out, std::string& errors) {
  // First, so that the usage of a GUI program started from a prompt is seen there.
  const bool reportOnOutput = process.AttachStandardOutput();
  const CommandLine command = ParseCommandLine(arguments);
  if (command.mode == Mode::Help) {
    out += UsageText();
    return 0;
  }
  if (command.mode == Mode::Invalid) {
    errors += "MarvaneSetup: " + command.error + "\n\n" + UsageText();
    return kBadCommandLineStatus;
  }

  // Without elevation every write would fail, one key after another. Said
  // before the log is opened: a log in a folder only administrators may
  // write to would otherwise be refused first, and the status would not say
  // what to do.
  const bool readOnly = !ChangesTheMachine(command.mode);
  if (!readOnly && !process.ProcessIsElevated()) {
    errors +=
        "MarvaneSetup: installing, repairing or removing the data sources needs administrator rights. Run it "
        "from a prompt opened with \"Run as administrator\", or start MarvaneSetup.exe, which asks for them. "
        "Nothing was changed.\n";
    return platform::kElevationRequiredStatus;
  }

  // Before the registry: a log that is refused stops the run before anything changes.
  RunLog log;
  if (!command.logFile.empty()) {
    platform::OpenedLogFile opened = process.OpenLogFile(command.logFile, runWait);
    if (!opened.file) {
      errors += opened.error + '\n';
      return opened.busy ? platform::kAlreadyRunningStatus : platform::kCannotOpenStatus;
    }
    log.WriteTo(std::move(opened.file), command.logFile, process.ProcessLogStamps());
  }
  if (reportOnOutput) log.EchoTo(stdout);

  platform::OpenedHost opened = process.OpenHost(readOnly, runWait);
  if (!opened.host) {
    errors += opened.error + '\n';
    log.Line("error: " + opened.error);
    log.Line("finished: nothing done; exit status " + std::to_string(opened.status));
    if (const std::string trouble = log.Trouble(); !trouble.empty()) errors += trouble + '\n';
    return opened.status;
  }
  return RunSetup(*opened.host, command, log, out, errors);
}
