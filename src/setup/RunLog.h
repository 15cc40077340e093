// The plain-text log of a run: appended to a file line by line, each line
// flushed as it is written, so a run that is killed leaves a log of how far
// it got. The same lines can go to standard output too.
#pragma once

#include <fstream>
#include <iosfwd>
#include <string>

#include "platform/Registry.h"

class RunLog {
 public:
  // Opens the file for appending and writes nothing yet. False, with an
  // error that names the file, when it cannot be opened.
  bool Open(const std::string& path, std::string& error);
  void EchoTo(std::ostream* out) { echo_ = out; }
  bool Active() const { return file_.is_open() || echo_ != nullptr; }
  bool Echoes() const { return echo_ != nullptr; }

  // False when the line could not be written to the file.
  bool Line(const std::string& text);
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::ofstream file_;
  std::ostream* echo_ = nullptr;
};

// "5 (Access is denied.)": a registry status and what it means.
std::string StatusText(platform::LONG status);
