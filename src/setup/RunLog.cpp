#include "setup/RunLog.h"

#include <cstdlib>

void RunLog::WriteTo(std::unique_ptr<platform::LogFile> file, const std::string& path,
                     platform::LogStamps& stamps) {
  file_ = std::move(file);
  path_ = path;
  stamps_ = &stamps;
}

bool RunLog::Line(const std::string& text) {
  ++lines_;
  if (echo_ != nullptr && (std::fprintf(echo_, "%s\n", text.c_str()) < 0 || std::fflush(echo_) != 0))
    echoLost_ = true;
  if (file_ == nullptr) return true;
  int offset = 0;
  const platform::SYSTEMTIME now = stamps_->LocalTime(offset);
  const std::string line = LocalTimeStamp(now, offset) + " [" + std::to_string(stamps_->ProcessId()) + "] " +
                           text + stamps_->LineEnd();
  if (file_->Append(line)) return true;
  if (firstLost_ == 0) firstLost_ = lines_;
  return false;
}

std::string RunLog::Trouble() const {
  std::string trouble;
  if (firstLost_ != 0)
    trouble += "MarvaneSetup: the log file \"" + path_ + "\" could not be written from its line " +
               std::to_string(firstLost_) +
               " of this run on, so the log is incomplete; the registry work went on. Free space or name "
               "another file, and run it again.";
  if (echoLost_)
    trouble +=
        std::string(trouble.empty() ? "" : "\n") +
        "MarvaneSetup: standard output could not be written (closed, or the disk full?), so the "
        "report there is incomplete; the registry work went on" +
        (path_.empty() || firstLost_ != 0 ? "." : "; the log file \"" + path_ + "\" has the whole report.");
  return trouble;
}

std::string LocalTimeStamp(const platform::SYSTEMTIME& time, int utcOffsetMinutes) {
  const int offset = std::abs(utcOffsetMinutes);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02uT%02u:%02u:%02u%c%02d:%02d", time.wYear, time.wMonth,
                time.wDay, time.wHour, time.wMinute, time.wSecond, utcOffsetMinutes < 0 ? '-' : '+',
                offset / 60, offset % 60);
  return stamp;
}
