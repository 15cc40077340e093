// The program's command line, parsed once into a plain value.
#pragma once

#include <string>
#include <vector>

enum class Mode {
  Install,  // no switch: register every data source
  Check,    // read-only: is every data source there and complete?
  Remove,   // remove the data sources this program registers
  Verify,   // read-only: can each data source actually work here?
  Help,     // usage, exit 0
  Invalid,  // usage, exit 87
};

struct CommandLine {
  Mode mode = Mode::Install;
  bool quiet = false;
  std::string logFile;  // empty: no log
  std::string error;    // what is wrong, for Invalid
};

// Switches are case-insensitive and start with / or -, the long ones also
// with --. arguments holds the arguments without the program's name.
CommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// Every switch, the exit statuses and one example each for install,
// detection and removal.
std::string UsageText();

// Windows' "the parameter is incorrect", for a command line that is not understood.
inline constexpr int kBadCommandLineStatus = 87;
