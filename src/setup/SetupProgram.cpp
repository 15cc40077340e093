#include "setup/SetupProgram.h"

#include <exception>
#include <string>

#include "odbc/MdlODBC.h"
#include "registry/basRegistry.h"
#include "setup/DataSources.h"
#include "setup/QuietWindowing.h"
#include "setup/Verify.h"
#include "setup/frmMarvane.h"

#ifndef MARVANE_VERSION
#define MARVANE_VERSION "unknown"
#endif

using namespace platform;

namespace {

// The log's first line: who runs what where, and what the run will decide
// by. Beside the version name the driver rule goes by, the version Windows
// really is: without a compatibility manifest entry GetVersionExA reports
// Windows 8 (6.2) on every later Windows.
std::string HeaderLine(Host& host, const CommandLine& command, MachineFacts& facts, MdlODBC& odbc) {
  std::string root = facts.Branch().root;
  root.pop_back();
  const std::string version = odbc.GetWindowsVersionName();
  const std::string directory = facts.DriverDirectory();

  return std::string("MarvaneSetup ") + MARVANE_VERSION + " " + ModeName(command.mode) +
         (command.quiet ? " /quiet" : "") + ", file server " + DataServerName + ", user " + host.UserName() +
         ", registry " + (host.RegistryWritable() ? "writable" : "read-only") + ", processor \"" +
         facts.ProcessorId() + "\" -> " + root + ", Windows " +
         (version.empty() ? "(unnamed version)" : version) + " (running on " + host.SystemVersion() +
         "), driver directory " + (directory.empty() ? "(none)" : directory);
}

// Detection and verification: read only, no window. Unless the log echoes
// them already, detection lists what is missing on out, verification every
// data source and the counts.
int RunReadOnly(MachineFacts& facts, Mode mode, const DataSourceVisit& visit, RunLog& log, std::string& out,
                bool listOnOut, bool listAll, std::string& summary) {
  Outcome outcome(mode);
  std::int16_t archiveYear = 0;
  ForEachDataSource(facts, archiveYear, visit, &log, outcome, [&](const DataSourceResult& result) {
    if (listOnOut && (listAll || !Succeeded(mode, result.verdict))) out += Describe(result) + '\n';
  });
  summary = outcome.Summary();
  if (listOnOut && listAll) out += summary + '\n';
  return outcome.ExitStatus();
}

// Install or remove, through the main window.
int RunWindows(Host& host, Windowing& windowing, basRegistry& registry, MdlODBC& odbc, MachineFacts& facts,
               bool quiet, Mode mode, RunLog& log, std::string& errors, std::string& summary) {
  frmMarvane mainWindow(windowing, host.system(), registry, odbc, mode, log.Active() ? &log : nullptr,
                        &facts);

  int status = 0;
  try {
    windowing.Run(mainWindow);
    status = mainWindow.Result().ExitStatus();
  } catch (const std::exception& error) {
    if (mainWindow.DataSourcesDone()) {
      // Every data source has been dealt with; only a window failed after
      // that, which changes nothing about the result.
      errors += std::string("MarvaneSetup: ") + error.what() + '\n';
      log.Line(std::string("error: ") + error.what());
      status = mainWindow.Result().ExitStatus();
    } else {
      const std::string text = std::string("Setup stopped before it finished: ") + error.what() +
                               "\n\nRun it again once the cause is fixed.";
      errors += text + '\n';
      log.Line("error: " + text.substr(0, text.find('\n')));
      if (!quiet) {
        try {
          windowing.MessageBoxA(nullptr, text.c_str(), MdlODBC::kApplicationTitle, MB_OK);
        } catch (const std::exception&) {
          // Already said on the error stream.
        }
      }
      status = 1;
    }
  }
  summary = mainWindow.Result().Summary();
  return status;
}

}  // namespace

int RunSetup(Host& host, const CommandLine& command, RunLog& log, std::string& out, std::string& errors) {
  const bool readOnly = !ChangesTheMachine(command.mode);
  const bool unattended = !readOnly && !command.quiet && !host.Interactive();
  const bool quiet = command.quiet || unattended;

  // Detection and verification show no window at all.
  QuietWindowing quietWindows(log);
  Windowing* shown = &host.windowing();
  if (quiet || readOnly) shown = &quietWindows;
  Windowing& windowing = *shown;
  basRegistry registry(host.registry());
  MdlODBC odbc(host.registry(), host.system(), windowing);
  MachineFacts facts(registry, host.system(), odbc);

  if (log.Active()) {
    if (!log.Line(HeaderLine(host, command, facts, odbc))) {
      errors +=
          "MarvaneSetup: the log file \"" + log.Path() +
          "\" cannot be written; free space or name another file, and run it again. Nothing was changed.\n";
      return 2;
    }
    if (unattended) log.Line("nobody can see this session's screen: running without windows, as with /quiet");
  }

  int status = 0;
  std::string summary;
  DataSourceVerifier verifier(odbc, host.registry(), host.system(), host.files());
  switch (command.mode) {
    case Mode::Check:
      status = RunReadOnly(
          facts, command.mode,
          [&](const DataSourceSpec& spec, const MdlODBC::Branch& branch) {
            return odbc.CheckDataSource(branch, spec);
          },
          log, out, !log.Echoes(), false, summary);
      break;
    case Mode::Verify:
      status = RunReadOnly(
          facts, command.mode,
          [&](const DataSourceSpec& spec, const MdlODBC::Branch& branch) {
            return verifier.Verify(branch, spec);
          },
          log, out, !log.Echoes(), true, summary);
      break;
    case Mode::Install:
    case Mode::Remove:
    case Mode::Repair:
      status = RunWindows(host, windowing, registry, odbc, facts, quiet, command.mode, log, errors, summary);
      break;
    case Mode::Help:
    case Mode::Invalid:
      // Answered before a run is started (StartSetup).
      errors += std::string("MarvaneSetup: nothing to run for ") + ModeName(command.mode) + '\n';
      return kBadCommandLineStatus;
  }

  std::string error;
  if (!host.Close(error)) {
    errors += error + '\n';
    log.Line("error: " + error);
    if (status == 0) status = 1;
  }
  // A log with lines missing is not a finished job: a deployment tool would
  // take exit status 0 for it and nobody would read what was lost.
  if (!log.Trouble().empty() && status == 0) status = 1;
  log.Line("finished: " + summary + "; exit status " + std::to_string(status));
  if (const std::string trouble = log.Trouble(); !trouble.empty()) {
    errors += trouble + '\n';
    if (status == 0) status = 1;
  }
  return status;
}
