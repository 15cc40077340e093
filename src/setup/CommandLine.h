// The program's command line, parsed once into a plain value, and the modes
// a run can be in: one vocabulary for the parser, the start of a run, the
// main window and the log.
#pragma once

#include <string>
#include <vector>

enum class Mode {
  Install,  // no switch: register every data source
  Check,    // read-only: is every data source there and complete?
  Verify,   // read-only: can each data source actually work here?
  Remove,   // remove the data sources this program registers
  Repair,   // make every data source exactly what this program writes
  Help,     // usage, exit 0
  Invalid,  // usage, exit 87
};

// The mode as the log's header names it: "install", "check", ...
const char* ModeName(Mode mode);
// Whether a run in this mode writes the machine registry: it then needs
// administrator rights, takes the machine's turn and shows the main window
// (unless quiet). The others only look, and show no window.
bool ChangesTheMachine(Mode mode);

struct CommandLine {
  Mode mode = Mode::Install;
  bool quiet = false;
  std::string logFile;  // empty: no log
  std::string error;    // what is wrong, for Invalid
};

// Switches are case-insensitive and start with / or -, the long ones also
// with --. arguments holds the arguments without the program's name.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// Every switch, the file server this build names, the exit statuses and
// one example each for install, detection, verification, repair and removal.
std::string UsageText();

// Windows' "the parameter is incorrect", for a command line that is not understood.
inline constexpr int kBadCommandLineStatus = 87;
