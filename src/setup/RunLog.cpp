#include "setup/RunLog.h"

#include <cerrno>
#include <cstring>
#include <ostream>

bool RunLog::Open(const std::string& path, std::string& error) {
  path_ = path;
  file_.open(path, std::ios::out | std::ios::app | std::ios::binary);
  if (file_.is_open()) return true;
  error = "MarvaneSetup: the log file \"" + path + "\" cannot be opened for writing (" +
          std::strerror(errno) +
          "); name a file in a folder this account can write to, and run it again. Nothing was changed.";
  return false;
}

bool RunLog::Line(const std::string& text) {
  if (echo_ != nullptr) *echo_ << text << std::endl;
  if (!file_.is_open()) return true;
  file_ << text << '\n';
  file_.flush();
  return static_cast<bool>(file_);
}

std::string StatusText(platform::LONG status) {
  struct Known {
    platform::LONG status;
    const char* text;
  };
  static constexpr Known known[] = {
      {0, "The operation completed successfully."},
      {2, "The system cannot find the file specified."},
      {5, "Access is denied."},
      {6, "The handle is invalid."},
      {8, "Not enough memory resources are available to process this command."},
      {29, "The system cannot write to the specified device."},
      {87, "The parameter is incorrect."},
      {161, "The specified path is invalid."},
      {234, "More data is available."},
      {1018, "Illegal operation attempted on a registry key that has been marked for deletion."},
  };
  for (const Known& entry : known)
    if (entry.status == status) return std::to_string(status) + " (" + entry.text + ")";
  return std::to_string(status);
}
