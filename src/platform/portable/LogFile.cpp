#include "platform/LogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "platform/portable/PortableSystemInfo.h"

namespace platform {

namespace {

class PosixLogFile final : public LogFile {
 public:
  explicit PosixLogFile(int fd) : fd_(fd) {}
  PosixLogFile(const PosixLogFile&) = delete;
  PosixLogFile& operator=(const PosixLogFile&) = delete;
  ~PosixLogFile() override { ::close(fd_); }
  bool Append(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t put = ::write(fd_, bytes.data(), bytes.size());
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
  }

 private:
  int fd_;
};

class PosixLogStamps final : public LogStamps {
 public:
  SYSTEMTIME LocalTime(int& utcOffsetMinutes) override { return portable::LocalTime(utcOffsetMinutes); }
  unsigned long ProcessId() override { return static_cast<unsigned long>(::getpid()); }
  const char* LineEnd() override { return "\n"; }
};

std::string Refused(const std::string& path, const std::string& what) {
  return "MarvaneSetup: the log file \"" + path + "\" " + what + " Nothing was changed.";
}

}  // namespace

// As on Windows, the log is never written through a link: neither the file
// nor a folder on its path may be a symbolic link.
OpenedLogFile OpenLogFile(const std::string& path, std::chrono::milliseconds) {
  for (std::size_t end = path.find('/', 1); end != std::string::npos; end = path.find('/', end + 1)) {
    struct stat st {};
    if (::lstat(path.substr(0, end).c_str(), &st) == 0 && S_ISLNK(st.st_mode))
      return {nullptr, Refused(path, "is reached through \"" + path.substr(0, end) +
                                         "\", a symbolic link, which setup does not follow; name the file by "
                                         "its real folder, or remove the link, and run it again.")};
  }
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0 && errno == ELOOP)
    return {nullptr, Refused(path,
                             "is a symbolic link, which setup does not follow; name the real file, or remove "
                             "the link, and run it again.")};
  if (fd < 0)
    return {nullptr,
            Refused(path, std::string("cannot be opened for writing (") + std::strerror(errno) +
                              "); name a file in a folder this account can write to, and run it again.")};
  return {std::make_unique<PosixLogFile>(fd), ""};
}

LogStamps& ProcessLogStamps() {
  static PosixLogStamps stamps;
  return stamps;
}

// A write to a closed pipe, or past the file-size limit, then fails with an
// error the program reports instead of ending it by a signal.
void ReportFailedWritesAsErrors() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace platform
