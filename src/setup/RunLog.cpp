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
  // ferror too: the Windows C runtime may take a line it cannot write without saying so.
  if (echo_ != nullptr &&
      (std::fprintf(echo_, "%s\n", text.c_str()) < 0 || std::fflush(echo_) != 0 || std::ferror(echo_) != 0))
    echoLost_ = true;
  if (file_ == nullptr) return true;
  int offset = 0;
  const platform::SYSTEMTIME now = stamps_->LocalTime(offset);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%s [%lu] ", LocalTimeStamp(now, offset).c_str(), stamps_->ProcessId());
  std::string line = stamp;
  line.append(text).append(stamps_->LineEnd());
  if (file_->Append(line)) return true;
  if (firstLost_ == 0) firstLost_ = lines_;
  return false;
}

// Formatted rather than concatenated: strings built with + or append take
// several times the room in the Windows program.
std::string RunLog::Trouble() const {
  if (firstLost_ == 0 && !echoLost_) return std::string();
  std::string trouble(2 * path_.size() + 512, '\0');
  int length = 0;
  if (firstLost_ != 0)
    length =
        std::snprintf(trouble.data(), trouble.size(),
                      "MarvaneSetup: the log file \"%s\" could not be written from its line %d of this run "
                      "on, so the log is incomplete; the registry work went on. Free space or name another "
                      "file, and run it again.%s",
                      path_.c_str(), firstLost_, echoLost_ ? "\n" : "");
  if (echoLost_)
    length +=
        std::snprintf(trouble.data() + length, trouble.size() - static_cast<std::size_t>(length),
                      "MarvaneSetup: standard output could not be written (closed, or the disk full?), so "
                      "the report there is incomplete; the registry work went on.%s%s%s",
                      path_.empty() || firstLost_ != 0 ? "" : " The log file \"",
                      path_.empty() || firstLost_ != 0 ? "" : path_.c_str(),
                      path_.empty() || firstLost_ != 0 ? "" : "\" has it all.");
  trouble.resize(static_cast<std::size_t>(length));
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
