// The process the program runs in, as the start of a run meets it: its
// standard output, its rights, its log file and the platform it opens. One
// object for the process; the start of a run (setup/Startup.h) reaches all
// of it through here, in the order it decides.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "platform/Host.h"
#include "platform/LogFile.h"

namespace platform {

class Process {
 public:
  virtual ~Process() = default;
  // AttachStandardOutput (Host.h): whether what is written on standard
  // output is read by somebody.
  virtual bool AttachStandardOutput() = 0;
  // Whether this process may change the machine: its token is elevated
  // (TokenElevation), as an administrator who accepted the prompt, SYSTEM,
  // or an administrator without User Account Control. Always so where the
  // platform has no elevation.
  virtual bool ProcessIsElevated() = 0;
  // OpenLogFile and ProcessLogStamps (LogFile.h).
  virtual OpenedLogFile OpenLogFile(const std::string& path, std::chrono::milliseconds wait) = 0;
  virtual LogStamps& ProcessLogStamps() = 0;
  // OpenHost (Host.h).
  virtual OpenedHost OpenHost(bool readOnly, std::chrono::milliseconds runWait) = 0;
};

Process& ThisProcess();

// The program's arguments, without its name, in UTF-8. Windows hands main
// its command line converted to the ANSI code page, where a character
// outside that code page becomes another one (a log path would then name
// another file); there the command line is taken as Windows keeps it,
// wide (GetCommandLineW), and argc and argv are not used. Elsewhere they
// are, as they are.
std::vector<std::string> ProgramArguments(int argc, char** argv);

}  // namespace platform
