// The plain-text log of a run: appended to a file line by line, each line
// handed to the system as it is written, so a run that is killed leaves a
// log of how far it got. Each line in the file starts with the local time
// and its offset from UTC and the process id, as the log viewers of
// deployment tools read them. The same lines, without those, can go to
// standard output too. (C streams: the C++ stream library would be most of
// the Windows program's size.)
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "platform/LogFile.h"

class RunLog {
 public:
  RunLog() = default;
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;

  // Lines go to file from now on, stamped as stamps says; path names the
  // file in messages.
  void WriteTo(std::unique_ptr<platform::LogFile> file, const std::string& path, platform::LogStamps& stamps);
  void EchoTo(std::FILE* out) { echo_ = out; }
  bool Active() const { return file_ != nullptr || echo_ != nullptr; }
  bool Echoes() const { return echo_ != nullptr; }

  // False when the line could not be written to the file.
  bool Line(const std::string& text);
  const std::string& Path() const { return path_; }

  // Empty while every line got where it was going; otherwise what to say
  // about the lines that did not, once, on standard error.
  std::string Trouble() const;

 private:
  std::string path_;
  std::unique_ptr<platform::LogFile> file_;
  platform::LogStamps* stamps_ = nullptr;
  std::FILE* echo_ = nullptr;
  int lines_ = 0;
  int firstLost_ = 0;  // the first line the file did not take, counting from 1
  bool echoLost_ = false;
};

// "2026-12-08T23:41:07+01:00": ISO 8601 local time with its offset from UTC.
std::string LocalTimeStamp(const platform::SYSTEMTIME& time, int utcOffsetMinutes);
