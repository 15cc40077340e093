#include "platform/LogFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>

#include "platform/portable/PortableSystemInfo.h"
#include "platform/portable/UniqueFd.h"

namespace platform {

namespace {

// A line written is kept, as with the registry's change log.
class PosixLogFile final : public LogFile {
 public:
  explicit PosixLogFile(int fd) : fd_(fd) {}
  bool Append(std::string_view bytes) override { return portable::WriteAll(fd_.get(), bytes) == 0; }

 private:
  portable::UniqueFd fd_;
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

// The folder part of path, opened one folder at a time, each relative to the
// one before and none through a symbolic link: a link planted on the way
// would send root's log into any folder. Returns 0 with folder open on the
// last folder (closed for a path without one) and name the file's name in
// it, or an errno, with link the folder that is a symbolic link for ELOOP.
int OpenFolders(const std::string& path, portable::UniqueFd& folder, std::string& name, std::string& link) {
  const std::size_t last = path.rfind('/');
  name = last == std::string::npos ? path : path.substr(last + 1);
  if (last == std::string::npos) return 0;
  portable::UniqueFd at(::open(path[0] == '/' ? "/" : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!at) return errno;
  for (std::size_t begin = 0; begin < last;) {
    const std::size_t end = path.find('/', begin);
    const std::string part = path.substr(begin, end - begin);
    begin = end + 1;
    if (part.empty()) continue;
    portable::UniqueFd next(
        ::openat(at.get(), part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next) {
      const int error = errno;
      // Linux says ENOTDIR for a link opened with O_DIRECTORY.
      struct stat st {};
      if (::fstatat(at.get(), part.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(st.st_mode))
        return error;
      link = path.substr(0, end);
      return ELOOP;
    }
    at = std::move(next);
  }
  folder = std::move(at);
  return 0;
}

}  // namespace

// Opened with OpenRegular below folders opened with OpenFolders: a link or
// FIFO planted at a path that root writes would send the log anywhere, or
// hang the run. A second hard link is refused as well, since it may be
// another file's name; and root does not append to a file another user
// owns, who could have made it a name of anything.
OpenedLogFile OpenLogFile(const std::string& path, std::chrono::milliseconds) {
  portable::UniqueFd folder;
  portable::UniqueFd fd;
  struct stat st {};
  std::string name;
  std::string link;
  int error = OpenFolders(path, folder, name, link);
  if (!link.empty())
    return {nullptr,
            Refused(path, "is reached through \"" + link +
                              "\", a symbolic link, which setup does not follow; name the file by its real "
                              "folder, or remove the link, and run it again.")};
  if (error == 0)
    error = portable::OpenRegular(folder ? folder.get() : AT_FDCWD, name.c_str(),
                                  O_WRONLY | O_APPEND | O_CREAT, 0644, fd, st);
  if (error == ELOOP)
    return {nullptr, Refused(path,
                             "is a symbolic link, which setup does not follow; name the real file, "
                             "or remove the link, and run it again.")};
  // A FIFO that nobody reads.
  if (error == ENXIO)
    return {nullptr, Refused(path,
                             "is not a regular file (a FIFO?); remove it or name another file, "
                             "and run it again.")};
  if (error == portable::kNotRegular)
    return {nullptr, Refused(path,
                             "is not a regular file (a FIFO, device or directory?); remove it or name "
                             "another file, and run it again.")};
  if (error != 0)
    return {nullptr,
            Refused(path, std::string("cannot be opened for writing (") + std::strerror(error) +
                              "); name a file in a folder this account can write to, and run it again.")};
  if (st.st_nlink > 1)
    return {nullptr,
            Refused(path, "has " + std::to_string(st.st_nlink) +
                              " hard links, so it may be another file's name; remove it, or name a "
                              "file in a folder only administrators can write to, and run it again.")};
  if (::geteuid() == 0 && st.st_uid != 0)
    return {nullptr, Refused(path, "belongs to another user (uid " + std::to_string(st.st_uid) +
                                       "), who could have made it a name of any file; remove it, or name a "
                                       "file in a folder only root can write to, and run it again.")};
  return {std::make_unique<PosixLogFile>(fd.release()), ""};
}

LogStamps& ProcessLogStamps() {
  static PosixLogStamps stamps;
  return stamps;
}

void ReportFailedWritesAsErrors() {
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace platform
