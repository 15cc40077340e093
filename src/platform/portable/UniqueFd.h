// A file descriptor owned, closed once; opening a regular file without being
// led elsewhere; and writing all of a text to one.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <utility>

namespace platform::portable {

class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) noexcept : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const noexcept { return fd_; }
  int release() noexcept { return std::exchange(fd_, -1); }
  explicit operator bool() const noexcept { return fd_ >= 0; }

 private:
  int fd_;
};

inline constexpr int kNotRegular = -1;  // what OpenRegular returns for a FIFO, device or directory

// Opens name relative to dirFd (AT_FDCWD: the working directory) without
// following a symbolic link (a planted one would send root's reads and writes
// anywhere) and without blocking (a FIFO would hang the run); then only a
// regular file will do, and it blocks again. Returns 0 with fd open and st
// its status, or an errno or kNotRegular with fd closed.
inline int OpenRegular(int dirFd, const char* name, int flags, mode_t mode, UniqueFd& fd, struct stat& st) {
  fd = UniqueFd(::openat(dirFd, name, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode));
  if (!fd) return errno;
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    fd = UniqueFd();
    return kNotRegular;
  }
  ::fcntl(fd.get(), F_SETFL, flags & O_APPEND);  // blocking again; O_APPEND as opened, so it cannot fail
  return 0;
}

// Writes all of text, again where a signal interrupted it. Returns 0 or an
// errno. Once it returns 0 the kernel has the bytes: a run killed after it
// loses none of them.
inline int WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t put = ::write(fd, text.data(), text.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return put < 0 ? errno : EIO;
    text.remove_prefix(static_cast<std::size_t>(put));
  }
  return 0;
}

}  // namespace platform::portable
