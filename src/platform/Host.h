// The platform the program runs on, opened once at start.
#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "platform/FileSystem.h"
#include "platform/Registry.h"
#include "platform/SystemInfo.h"
#include "platform/Windowing.h"

namespace platform {

class Host {
 public:
  virtual ~Host() = default;
  virtual Registry& registry() = 0;
  virtual SystemInfo& system() = 0;
  virtual Windowing& windowing() = 0;
  virtual FileSystem& files() = 0;
  // Whether anybody can see and answer the program's windows. Where nobody
  // can (a service session, an invisible window station), a window would
  // wait for ever.
  virtual bool Interactive() = 0;
  // The account the program runs as.
  virtual std::string UserName() = 0;
  // The system the program really runs on, for the log, e.g. "Windows 10.0
  // build 19045": not the version it reports to the program.
  virtual std::string SystemVersion() = 0;
  // Whether this account can change the machine registry.
  virtual bool RegistryWritable() = 0;
  // Makes what the run wrote permanent. False, with a reason, when that
  // failed; nothing that a call reported as done is lost either way.
  virtual bool Close(std::string& error) = 0;
};

// Exit statuses of a run that could not start, with Windows' numbers, which
// deployment tools know: 2 the machine registry (or the log) could not be
// opened; 1618 ERROR_INSTALL_ALREADY_RUNNING, another run is still changing
// the machine (Intune and Configuration Manager retry it later); 740
// ERROR_ELEVATION_REQUIRED, this account may not change the machine.
inline constexpr int kCannotOpenStatus = 2;
inline constexpr int kAlreadyRunningStatus = 1618;
inline constexpr int kElevationRequiredStatus = 740;

// How long a run that changes the machine waits for another one to end. A
// run takes well under a second; one that holds the machine for a minute is
// stuck at a message box or hung, and waiting longer would only hold up the
// deployment tool that started this one.
inline constexpr std::chrono::milliseconds kRunWait{60000};

struct OpenedHost {
  std::unique_ptr<Host> host;      // null when the platform could not be opened
  std::string error;               // why, naming the thing and what to do
  int status = kCannotOpenStatus;  // the exit status, when host is null
};

// Opens the platform this program was built for; for reading only, nothing
// is ever written. A run that changes the machine first takes its turn,
// waiting up to runWait for another run to end (reading takes no turn on
// Windows, a shared one on the portable platform); whether this process may
// change the machine at all is the caller's to ask first
// (Process::ProcessIsElevated). runWait other than kRunWait is for tests.
OpenedHost OpenHost(bool readOnly, std::chrono::milliseconds runWait);

// Connects standard output to the console the program was started from,
// where it has none of its own. True when what is written there is read by
// somebody (a console, or output redirected to a file or a pipe) and so
// should carry the run's report; false where the program's windows speak on
// standard output themselves.
bool AttachStandardOutput();

}  // namespace platform
