#include "setup/RunLog.h"

#include <cerrno>
#include <cstring>

RunLog::~RunLog() {
  if (file_ != nullptr) std::fclose(file_);
}

bool RunLog::Open(const std::string& path, std::string& error) {
  path_ = path;
  file_ = std::fopen(path.c_str(), "ab");
  if (file_ != nullptr) return true;
  error = "MarvaneSetup: the log file \"" + path + "\" cannot be opened for writing (" +
          std::strerror(errno) +
          "); name a file in a folder this account can write to, and run it again. Nothing was changed.";
  return false;
}

bool RunLog::Line(const std::string& text) {
  if (echo_ != nullptr) {
    std::fprintf(echo_, "%s\n", text.c_str());
    std::fflush(echo_);
  }
  if (file_ == nullptr) return true;
  const bool written = std::fputs(text.c_str(), file_) >= 0 && std::fputc('\n', file_) != EOF;
  return std::fflush(file_) == 0 && written;
}
