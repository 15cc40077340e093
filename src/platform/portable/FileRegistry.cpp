#include "platform/portable/FileRegistry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>
#include <thread>
#include <utility>

namespace platform::portable {

namespace {

std::string NameOf(const std::string& path) {
  return path.substr(path.rfind('/') + 1);
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

// What stops the run when OpenBeside refused path, or "" when it did not.
std::string Refusal(const std::string& path, int error) {
  if (error == ELOOP)
    return path +
           " is a symbolic link, which setup does not follow; put the real file in its place, "
           "or remove the link, and run setup again";
  if (error == kNotRegular)
    return path + " is not a regular file (a FIFO, device or directory?); remove it and run setup again";
  return std::string();
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

FileRegistry::FileRegistry(std::string path) : path_(std::move(path)) {
  const std::size_t slash = path_.rfind('/');
  directory_ = slash == std::string::npos ? "." : path_.substr(0, std::max<std::size_t>(slash, 1));
}

FileRegistry::~FileRegistry() {
  std::string ignored;
  Close(ignored);
}

FileRegistry::Opened FileRegistry::Open(const std::string& path, Access access,
                                        std::chrono::milliseconds lockWait) {
  if (path.empty()) return {nullptr, "no file name given for the machine registry"};
  std::unique_ptr<FileRegistry> registry(new FileRegistry(path));
  bool busy = false;
  std::string error = registry->Load(access == Access::kReadWrite, lockWait, busy);
  if (!error.empty()) registry.reset();
  return {std::move(registry), error, busy};
}

int FileRegistry::OpenBeside(const std::string& path, int flags, Fd& file, struct stat& st) {
  return OpenRegular(directoryFd_.get(), NameOf(path).c_str(), flags, fileMode_ & 0666, file, st);
}

std::string FileRegistry::ReadBeside(const std::string& path, int flags, Fd& file, std::string& text,
                                     struct stat& st) {
  int error = OpenBeside(path, flags, file, st);
  if (error == ENOENT) return std::string();
  if (std::string refusal = Refusal(path, error); !refusal.empty()) return refusal;
  char buffer[65536];
  for (ssize_t got = 1; error == 0 && got != 0;) {
    got = ::read(file.get(), buffer, sizeof buffer);
    if (got > 0) text.append(buffer, static_cast<std::size_t>(got));
    if (got < 0 && errno != EINTR) error = errno;
  }
  if (error == 0) return std::string();
  return "cannot read " + path + ": " + std::strerror(error) + "; check the file and its permissions";
}

std::string FileRegistry::Load(bool wantWrite, std::chrono::milliseconds lockWait, bool& busy) {
  const std::string logPath = LogPath(path_);
  const std::string lockPath = LockPath(path_);

  // Reading only creates nothing: a missing directory is an empty registry.
  const int made = wantWrite ? MakeDirectories(directory_) : 0;
  if (made != 0 && !IsPermissionError(made))
    return "cannot create the directory " + directory_ + " for " + path_ + ": " + std::strerror(made) +
           "; create it or set HOME to a usable place";
  wantWrite = wantWrite && made == 0;
  directoryFd_ = Fd{::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  struct stat st {};
  if (!directoryFd_) {
    SetReadOnly(true);
    if (errno == ENOENT && !wantWrite) return std::string();
    return "cannot open the directory " + directory_ + " of " + path_ + ": " + std::strerror(errno);
  }
  // Whoever else may write the folder could swap its files between our calls.
  if (::fstat(directoryFd_.get(), &st) != 0 || (st.st_uid != 0 && st.st_uid != ::geteuid()))
    return "the folder " + directory_ + " belongs to another user (uid " + std::to_string(st.st_uid) +
           "), who could redirect the registry files; make it yours (chown) and run setup again";
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
    return "the folder " + directory_ +
           " may be written by others, who could redirect the registry files; "
           "make it writable by its owner only (chmod go-w) and run setup again";
  if (wantWrite) {
    writable_ = ::faccessat(directoryFd_.get(), ".", W_OK | X_OK, 0) == 0 &&
                (::faccessat(directoryFd_.get(), NameOf(path_).c_str(), W_OK, 0) == 0 || errno == ENOENT) &&
                (::faccessat(directoryFd_.get(), NameOf(logPath).c_str(), W_OK, 0) == 0 || errno == ENOENT);
  }

  // Take turns with other runs before reading anything. Reading only, a lock
  // file that cannot be opened means no lock.
  int error = OpenBeside(lockPath, writable_ ? O_RDWR | O_CREAT : O_RDONLY, lock_, st);
  if (writable_ && IsPermissionError(error)) {
    writable_ = false;
    error = OpenBeside(lockPath, O_RDONLY, lock_, st);
  }
  if (std::string refusal = Refusal(lockPath, error); !refusal.empty()) return refusal;
  if (writable_ && error != 0) return "cannot open the lock file " + lockPath + ": " + std::strerror(error);
  if (lock_) {
    if (int locked = LockFile(lock_.get(), writable_ ? LOCK_EX : LOCK_SH, lockWait); locked == EWOULDBLOCK) {
      busy = true;
      return "another run of setup has held " + lockPath + " for " +
             std::to_string(std::chrono::duration_cast<std::chrono::seconds>(lockWait).count()) +
             " seconds; nothing was changed. Run setup again once it has finished.";
    } else if (locked != 0) {
      return "cannot lock " + lockPath + ": " + std::strerror(locked);
    }
  }
  SetReadOnly(!writable_);

  Fd file;
  std::string text;
  if (std::string problem = ReadBeside(path_, O_RDONLY, file, text, st); !problem.empty()) return problem;
  if (file) {
    fileMode_ = st.st_mode & 07777;
    if (std::string problem = ReadRegFile(text, path_, root()); !problem.empty())
      return problem + "; correct the file, or move it away to start with an empty registry";
  }

  Fd log;
  text.clear();
  if (std::string problem = ReadBeside(logPath, writable_ ? O_RDWR | O_APPEND : O_RDONLY, log, text, st);
      !problem.empty())
    return problem;
  std::size_t complete = 0;
  if (std::string problem = ReplayRegLog(text, logPath, root(), &complete); !problem.empty())
    return problem + "; correct or remove that line (changes after it are then lost)";
  changed_ = complete > 0;
  if (writable_ && log) {
    // Drop an unfinished last record so that new records start on a line of their own.
    if (complete < text.size() && ::ftruncate(log.get(), static_cast<off_t>(complete)) != 0)
      return "cannot repair " + logPath + ": " + std::strerror(errno);
    logSize_ = static_cast<off_t>(complete);
    log_ = std::move(log);
  }
  if (writable_) ::unlinkat(directoryFd_.get(), NameOf(TempPath(path_)).c_str(), 0);  // left by a killed save
  return std::string();
}

LONG FileRegistry::RecordChange(const Change& change) {
  if (closed_ || !writable_) return ERROR_ACCESS_DENIED;
  if (logBroken_) return ERROR_WRITE_FAULT;
  struct stat st {};
  if (!log_) {
    const int error = OpenBeside(LogPath(path_), O_WRONLY | O_CREAT | O_APPEND, log_, st);
    if (error != 0) return IsPermissionError(error) ? ERROR_ACCESS_DENIED : ERROR_WRITE_FAULT;
    logSize_ = st.st_size;
  }
  using Kind = Change::Kind;
  record_.clear();
  const bool ofKey = change.kind == Kind::kCreateKey || change.kind == Kind::kDeleteKey;
  if (ofKey || change.keyPath != lastLoggedKey_)
    AppendKeyLine(record_, change.keyPath, change.kind == Kind::kDeleteKey);
  if (change.kind == Kind::kSetValue) AppendValueLine(record_, *change.value, false);
  if (change.kind == Kind::kDeleteValue) AppendValueDeleteLine(record_, change.value->name);
  if (int error = WriteAll(log_.get(), record_); error != 0) {
    // Take back whatever part of the record got written.
    if (::ftruncate(log_.get(), logSize_) != 0) logBroken_ = true;
    return IsPermissionError(error) ? ERROR_ACCESS_DENIED : ERROR_WRITE_FAULT;
  }
  logSize_ += static_cast<off_t>(record_.size());
  // After a deleted key the log has no current key: the next value names its own.
  lastLoggedKey_ = change.kind == Kind::kDeleteKey ? std::string() : std::string(change.keyPath);
  changed_ = true;
  return ERROR_SUCCESS;
}

std::string FileRegistry::Fold() {
  const std::string tempPath = TempPath(path_);
  const std::string tempName = NameOf(tempPath);
  const std::string kept =
      "; the changes are kept in " + LogPath(path_) + " and are applied at the next start";
  // Created afresh and exclusively: whatever was at that name (a link
  // included) is removed, never written through.
  ::unlinkat(directoryFd_.get(), tempName.c_str(), 0);
  Fd temp{::openat(directoryFd_.get(), tempName.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                   fileMode_ & 0666)};
  if (!temp) return "cannot create " + tempPath + ": " + std::strerror(errno) + kept;
  // The umask may have taken bits from the mode asked for at creation.
  int failure = ::fchmod(temp.get(), fileMode_) == 0 ? 0 : errno;
  if (failure == 0) failure = WriteAll(temp.get(), WriteRegFile(root()));
  if (failure == 0 && ::fsync(temp.get()) != 0) failure = errno;
  if (failure == 0 && ::close(temp.release()) != 0) failure = errno;
  if (failure == 0 &&
      ::renameat(directoryFd_.get(), tempName.c_str(), directoryFd_.get(), NameOf(path_).c_str()) != 0)
    failure = errno;
  if (failure != 0) {
    ::unlinkat(directoryFd_.get(), tempName.c_str(), 0);
    return "cannot save " + path_ + ": " + std::strerror(failure) + kept;
  }
  // The rename is durable once the directory is synced; only then may the log go.
  if (::fsync(directoryFd_.get()) != 0)
    return "cannot sync the directory " + directory_ + ": " + std::strerror(errno) + kept;
  log_ = Fd();
  if (::unlinkat(directoryFd_.get(), NameOf(LogPath(path_)).c_str(), 0) != 0 && errno != ENOENT)
    return "saved " + path_ + " but cannot remove " + LogPath(path_) + ": " + std::strerror(errno);
  return std::string();
}

bool FileRegistry::Close(std::string& error) {
  error.clear();
  if (closed_) return true;
  closed_ = true;
  SetReadOnly(true);
  if (writable_ && changed_) {
    error = Fold();
  } else if (log_ && logSize_ == 0) {
    ::unlinkat(directoryFd_.get(), NameOf(LogPath(path_)).c_str(), 0);
  }
  log_ = Fd();
  lock_ = Fd();  // releases the lock
  return error.empty();
}

}  // namespace platform::portable
