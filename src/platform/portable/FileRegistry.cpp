#include "platform/portable/FileRegistry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>
#include <thread>
#include <utility>

#include "platform/portable/RegText.h"

namespace platform::portable {

namespace {

std::string Reason(int error) {
  return std::strerror(error);
}

std::string NameOf(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
}

std::string DirectoryOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// mkdir -p with mode 0755, from the top down. Returns 0 or the errno of the step that failed.
int MakeDirectories(const std::string& directory) {
  for (std::size_t slash = directory.find('/', 1);; slash = directory.find('/', slash + 1)) {
    if (::mkdir(directory.substr(0, slash).c_str(), 0755) != 0 && errno != EEXIST) return errno;
    if (slash == std::string::npos) return 0;
  }
}

bool IsPermissionError(int error) {
  return error == EACCES || error == EPERM || error == EROFS;
}

// Reads a whole file. Returns 0 or an errno.
int ReadAll(int fd, std::string& text) {
  char buffer[65536];
  while (true) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return got < 0 ? errno : 0;
    text.append(buffer, static_cast<std::size_t>(got));
  }
}

// Writes all of text. Returns 0 or an errno.
int WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t put = ::write(fd, text.data(), text.size());
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return put < 0 ? errno : EIO;
    text.remove_prefix(static_cast<std::size_t>(put));
  }
  return 0;
}

// flock has no time limit of its own: asked without blocking, again and
// again, until the lock is had or wait is over (EWOULDBLOCK then).
int LockFile(int fd, int operation, std::chrono::milliseconds wait) {
  const auto giveUp = std::chrono::steady_clock::now() + wait;
  while (::flock(fd, operation | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= giveUp) return errno;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return 0;
}

}  // namespace

FileRegistry::Fd::~Fd() {
  if (fd >= 0) ::close(fd);
}

FileRegistry::FileRegistry(PassKey, std::string path)
    : path_(std::move(path)), directory_(DirectoryOf(path_)) {}

FileRegistry::~FileRegistry() {
  std::string ignored;
  Close(ignored);
}

FileRegistry::Opened FileRegistry::Open(const std::string& path, Access access,
                                        std::chrono::milliseconds lockWait) {
  Opened opened;
  if (path.empty()) {
    opened.error = "no file name given for the machine registry";
    return opened;
  }
  auto registry = std::make_unique<FileRegistry>(PassKey{}, path);
  opened.error = registry->Load(access == Access::kReadWrite, lockWait, opened.busy);
  if (opened.error.empty()) opened.registry = std::move(registry);
  return opened;
}

// Without following a symbolic link (a planted one would send root's reads
// and writes anywhere) and without blocking (a FIFO would hang the run while
// it holds the lock); then only a regular file will do.
FileRegistry::Fd FileRegistry::OpenBeside(const std::string& path, int flags, std::string& refusal) {
  Fd file(::openat(directoryFd_.fd, NameOf(path).c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                   fileMode_ & 0666));
  struct stat st;
  if (!file && errno == ELOOP) {
    refusal = path +
              " is a symbolic link, which setup does not follow; put the real file in its place, "
              "or remove the link, and run setup again";
  } else if (file && (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode))) {
    refusal = path + " is not a regular file (a FIFO, device or directory?); remove it and run setup again";
    return Fd();
  } else if (file) {
    ::fcntl(file.fd, F_SETFL, flags & O_APPEND);  // blocking again
  }
  return file;
}

std::string FileRegistry::Load(bool wantWrite, std::chrono::milliseconds lockWait, bool& busy) {
  const std::string logPath = LogPath(path_);
  const std::string lockPath = LockPath(path_);
  const std::string advice = "; correct the file, or move it away to start with an empty registry";

  // Reading only creates nothing: a missing directory is an empty registry.
  if (int error = wantWrite ? MakeDirectories(directory_) : 0; error != 0) {
    if (!IsPermissionError(error)) {
      return "cannot create the directory " + directory_ + " for " + path_ + ": " + Reason(error) +
             "; create it or set HOME to a usable place";
    }
    wantWrite = false;
  }
  directoryFd_ = Fd(::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  struct stat st;
  if (!directoryFd_) {
    SetReadOnly(true);
    if (errno == ENOENT && !wantWrite) return std::string();
    return "cannot open the directory " + directory_ + " of " + path_ + ": " + Reason(errno);
  }
  // Whoever else may write the folder could swap its files between our calls.
  if (::fstat(directoryFd_.fd, &st) != 0 || (st.st_uid != 0 && st.st_uid != ::geteuid())) {
    return "the folder " + directory_ + " belongs to another user (uid " + std::to_string(st.st_uid) +
           "), who could redirect the registry files; make it yours (chown) and run setup again";
  }
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return "the folder " + directory_ +
           " may be written by others, who could redirect the registry files; "
           "make it writable by its owner only (chmod go-w) and run setup again";
  }
  if (wantWrite) {
    writable_ = ::faccessat(directoryFd_.fd, ".", W_OK | X_OK, 0) == 0 &&
                (::faccessat(directoryFd_.fd, NameOf(path_).c_str(), W_OK, 0) == 0 || errno == ENOENT) &&
                (::faccessat(directoryFd_.fd, NameOf(logPath).c_str(), W_OK, 0) == 0 || errno == ENOENT);
  }

  // Take turns with other runs before reading anything.
  std::string refusal;
  lock_ = OpenBeside(lockPath, writable_ ? O_RDWR | O_CREAT : O_RDONLY, refusal);
  if (!lock_ && writable_ && refusal.empty()) {
    if (int error = errno; !IsPermissionError(error))
      return "cannot open the lock file " + lockPath + ": " + Reason(error);
    writable_ = false;
    lock_ = OpenBeside(lockPath, O_RDONLY, refusal);
  }
  if (!refusal.empty()) return refusal;
  if (lock_) {
    if (int error = LockFile(lock_.fd, writable_ ? LOCK_EX : LOCK_SH, lockWait); error == EWOULDBLOCK) {
      busy = true;
      return "another run of setup has held " + lockPath + " for " +
             std::to_string(std::chrono::duration_cast<std::chrono::seconds>(lockWait).count()) +
             " seconds; nothing was changed. Run setup again once it has finished.";
    } else if (error != 0) {
      return "cannot lock " + lockPath + ": " + Reason(error);
    }
  }
  SetReadOnly(!writable_);

  if (Fd file = OpenBeside(path_, O_RDONLY, refusal)) {
    if (::fstat(file.fd, &st) == 0) fileMode_ = st.st_mode & 07777;
    std::string text;
    if (int error = ReadAll(file.fd, text); error != 0) {
      return "cannot read " + path_ + ": " + Reason(error) + "; check the file and its permissions";
    }
    if (std::string error = ReadRegFile(text, path_, store()); !error.empty()) return error + advice;
  } else if (!refusal.empty() || errno != ENOENT) {
    return refusal.empty() ? "cannot read " + path_ + ": " + Reason(errno) + "; check its permissions"
                           : refusal;
  }

  if (Fd log = OpenBeside(logPath, writable_ ? O_RDWR | O_APPEND : O_RDONLY, refusal)) {
    std::string text;
    if (int error = ReadAll(log.fd, text); error != 0) {
      return "cannot read " + logPath + ": " + Reason(error) + "; check the file and its permissions";
    }
    std::size_t complete = 0;
    if (std::string error = ReplayRegLog(text, logPath, store(), &complete); !error.empty()) {
      return error + "; correct or remove that line (changes after it are then lost)";
    }
    if (complete > 0) changed_ = true;
    if (writable_) {
      // Drop an unfinished last record so that new records start on a line of their own.
      if (complete < text.size() && ::ftruncate(log.fd, static_cast<off_t>(complete)) != 0) {
        return "cannot repair " + logPath + ": " + Reason(errno);
      }
      logSize_ = static_cast<off_t>(complete);
      log_ = std::move(log);
    }
  } else if (!refusal.empty() || errno != ENOENT) {
    return refusal.empty() ? "cannot read " + logPath + ": " + Reason(errno) + "; check its permissions"
                           : refusal;
  }

  if (writable_) ::unlinkat(directoryFd_.fd, NameOf(TempPath(path_)).c_str(), 0);  // left by a killed save
  return std::string();
}

LONG FileRegistry::RecordChange(const Change& change) {
  if (closed_ || !writable_) return ERROR_ACCESS_DENIED;
  if (logBroken_) return ERROR_WRITE_FAULT;
  if (!log_) {
    std::string refusal;
    log_ = OpenBeside(LogPath(path_), O_WRONLY | O_CREAT | O_APPEND, refusal);
    if (!log_) return IsPermissionError(errno) && refusal.empty() ? ERROR_ACCESS_DENIED : ERROR_WRITE_FAULT;
    struct stat st;
    logSize_ = ::fstat(log_.fd, &st) == 0 ? st.st_size : 0;
  }
  using Kind = Change::Kind;
  std::string& record = record_;
  record.clear();
  if (change.kind == Kind::kCreateKey || change.kind == Kind::kDeleteKey) {
    AppendKeyLine(record, change.keyPath, change.kind == Kind::kDeleteKey);
  } else {
    if (change.keyPath != lastLoggedKey_) AppendKeyLine(record, change.keyPath, false);
    if (change.kind == Kind::kSetValue) {
      AppendValueLine(record, *change.value, false);
    } else {
      AppendValueDeleteLine(record, change.value->name);
    }
  }
  if (int error = WriteAll(log_.fd, record); error != 0) {
    // Take back whatever part of the record got written.
    if (::ftruncate(log_.fd, logSize_) != 0) logBroken_ = true;
    return IsPermissionError(error) ? ERROR_ACCESS_DENIED : ERROR_WRITE_FAULT;
  }
  logSize_ += static_cast<off_t>(record.size());
  // After a deleted key the log has no current key: the next value names its own.
  lastLoggedKey_ = change.kind == Kind::kDeleteKey ? std::string() : std::string(change.keyPath);
  changed_ = true;
  return ERROR_SUCCESS;
}

bool FileRegistry::Fold(std::string& error) {
  const std::string tempPath = TempPath(path_);
  const std::string tempName = NameOf(tempPath);
  const std::string kept =
      "; the changes are kept in " + LogPath(path_) + " and are applied at the next start";
  // Created afresh and exclusively: whatever was at that name (a link
  // included) is removed, never written through.
  ::unlinkat(directoryFd_.fd, tempName.c_str(), 0);
  Fd temp(::openat(directoryFd_.fd, tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                   fileMode_ & 0666));
  if (!temp) {
    error = "cannot create " + tempPath + ": " + Reason(errno) + kept;
    return false;
  }
  // The umask may have taken bits from the mode asked for at creation.
  int failure = ::fchmod(temp.fd, fileMode_) == 0 ? 0 : errno;
  if (failure == 0) failure = WriteAll(temp.fd, WriteRegFile(store()));
  if (failure == 0 && ::fsync(temp.fd) != 0) failure = errno;
  if (failure == 0 && ::close(std::exchange(temp.fd, -1)) != 0) failure = errno;
  if (failure == 0 &&
      ::renameat(directoryFd_.fd, tempName.c_str(), directoryFd_.fd, NameOf(path_).c_str()) != 0)
    failure = errno;
  if (failure != 0) {
    ::unlinkat(directoryFd_.fd, tempName.c_str(), 0);
    error = "cannot save " + path_ + ": " + Reason(failure) + kept;
    return false;
  }
  // The rename is durable once the directory is synced; only then may the log go.
  if (::fsync(directoryFd_.fd) != 0) {
    error = "cannot sync the directory " + directory_ + ": " + Reason(errno) + kept;
    return false;
  }
  log_ = Fd();
  if (::unlinkat(directoryFd_.fd, NameOf(LogPath(path_)).c_str(), 0) != 0 && errno != ENOENT) {
    error = "saved " + path_ + " but cannot remove " + LogPath(path_) + ": " + Reason(errno);
    return false;
  }
  return true;
}

bool FileRegistry::Close(std::string& error) {
  error.clear();
  if (closed_) return true;
  closed_ = true;
  SetReadOnly(true);
  bool saved = true;
  if (writable_ && changed_) {
    saved = Fold(error);
  } else if (log_ && logSize_ == 0) {
    ::unlinkat(directoryFd_.fd, NameOf(LogPath(path_)).c_str(), 0);
  }
  log_ = Fd();
  lock_ = Fd();  // releases the lock
  return saved;
}

}  // namespace platform::portable
