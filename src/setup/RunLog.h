// The plain-text log of a run: appended to a file line by line, each line
// flushed as it is written, so a run that is killed leaves a log of how far
// it got. The same lines can go to standard output too. (C streams: the C++
// stream library would be most of the Windows program's size.)
#pragma once

#include <cstdio>
#include <string>

class RunLog {
 public:
  RunLog() = default;
  RunLog(const RunLog&) = delete;
  RunLog& operator=(const RunLog&) = delete;
  ~RunLog();

  // Opens the file for appending and writes nothing yet. False, with an
  // error that names the file, when it cannot be opened.
  bool Open(const std::string& path, std::string& error);
  void EchoTo(std::FILE* out) { echo_ = out; }
  bool Active() const { return file_ != nullptr || echo_ != nullptr; }
  bool Echoes() const { return echo_ != nullptr; }

  // False when the line could not be written to the file.
  bool Line(const std::string& text);
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
  std::FILE* echo_ = nullptr;
};
