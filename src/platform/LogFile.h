// The run's log file, and what its lines are stamped with. The program runs
// as SYSTEM or root from deployment tools, so the file is opened by the
// platform, which refuses a path that someone else could have planted to
// turn those writes against another file: a link, a second name of another
// file, or a file another user owns.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "platform/SystemInfo.h"

namespace platform {

class LogFile {
 public:
  virtual ~LogFile() = default;
  // Appends all of bytes and hands them to the system at once, so that a run
  // killed later keeps them. False when any of that failed.
  virtual bool Append(std::string_view bytes) = 0;
};

struct OpenedLogFile {
  std::unique_ptr<LogFile> file;  // null when the file was refused or could not be opened
  std::string error;              // why, naming the file and what to do
  bool busy = false;              // then: another run kept it open for all of the wait
};

// Opens path for appending, creating it when it is not there. Where a log
// is open to one writer at a time (Windows), another run's log is waited
// for as long as wait, as the run itself would wait for its turn.
OpenedLogFile OpenLogFile(const std::string& path, std::chrono::milliseconds wait);

// What each line of the log starts with and how it ends on this system.
class LogStamps {
 public:
  virtual ~LogStamps() = default;
  // The local time now, and its offset from UTC in minutes (east of UTC positive).
  virtual SYSTEMTIME LocalTime(int& utcOffsetMinutes) = 0;
  virtual unsigned long ProcessId() = 0;
  // The line end the system's own log viewers expect.
  virtual const char* LineEnd() = 0;
};

LogStamps& ProcessLogStamps();

// Called once at start: a write to a closed pipe, or past the file-size
// limit, then fails with an error the program reports, instead of ending the
// process by a signal without a word.
void ReportFailedWritesAsErrors();

}  // namespace platform
