#include "platform/portable/FileRegistry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

#include "platform/portable/RegText.h"

namespace platform::portable {

namespace {

std::string Reason(int error) {
  return std::strerror(error);
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::string DirectoryOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// mkdir -p with mode 0755. Returns 0 or the errno of the step that failed.
int MakeDirectories(const std::string& directory) {
  struct stat st;
  if (::stat(directory.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
  std::size_t slash = directory.rfind('/');
  if (slash != std::string::npos && slash != 0) {
    if (int error = MakeDirectories(directory.substr(0, slash)); error != 0) return error;
  }
  if (::mkdir(directory.c_str(), 0755) != 0 && errno != EEXIST) return errno;
  return 0;
}

bool IsPermissionError(int error) {
  return error == EACCES || error == EPERM || error == EROFS;
}

// Reads a whole file. Returns 0 or an errno.
int ReadAll(int fd, std::string& text) {
  struct stat st;
  if (::fstat(fd, &st) == 0 && st.st_size > 0) text.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  while (true) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) return 0;
    text.append(buffer, static_cast<std::size_t>(got));
  }
}

// Writes all of text. Returns 0 or an errno.
int WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t put = ::write(fd, text.data(), text.size());
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return errno;
    if (put == 0) return EIO;
    text.remove_prefix(static_cast<std::size_t>(put));
  }
  return 0;
}

int LockFile(int fd, int operation) {
  while (::flock(fd, operation) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

}  // namespace

FileRegistry::Fd& FileRegistry::Fd::operator=(Fd&& other) noexcept {
  if (this != &other) {
    Reset();
    fd_ = other.Release();
  }
  return *this;
}

void FileRegistry::Fd::Reset() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

FileRegistry::FileRegistry(PassKey, std::string path)
    : path_(std::move(path)), directory_(DirectoryOf(path_)) {}

FileRegistry::~FileRegistry() {
  std::string ignored;
  Close(ignored);
}

FileRegistry::Opened FileRegistry::Open(const std::string& path, Access access) {
  Opened opened;
  if (path.empty()) {
    opened.error = "no file name given for the machine registry";
    return opened;
  }
  auto registry = std::make_unique<FileRegistry>(PassKey{}, path);
  opened.error = registry->Load(access == Access::kReadWrite);
  if (opened.error.empty()) opened.registry = std::move(registry);
  return opened;
}

std::string FileRegistry::Load(bool wantWrite) {
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
  if (wantWrite) {
    writable_ = ::access(directory_.c_str(), W_OK | X_OK) == 0 &&
                (!Exists(path_) || ::access(path_.c_str(), W_OK) == 0) &&
                (!Exists(logPath) || ::access(logPath.c_str(), W_OK) == 0);
  }

  // Take turns with other runs before reading anything.
  lock_ = Fd(::open(lockPath.c_str(), (writable_ ? O_RDWR | O_CREAT : O_RDONLY) | O_CLOEXEC, 0644));
  if (!lock_ && writable_) {
    int error = errno;
    if (!IsPermissionError(error)) return "cannot open the lock file " + lockPath + ": " + Reason(error);
    writable_ = false;
    lock_ = Fd(::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC));
  }
  if (lock_) {
    if (int error = LockFile(lock_.get(), writable_ ? LOCK_EX : LOCK_SH); error != 0) {
      return "cannot lock " + lockPath + ": " + Reason(error);
    }
  }
  SetReadOnly(!writable_);

  Fd file(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
  if (file) {
    struct stat st;
    if (::fstat(file.get(), &st) == 0) fileMode_ = st.st_mode & 07777;
    std::string text;
    if (int error = ReadAll(file.get(), text); error != 0) {
      return "cannot read " + path_ + ": " + Reason(error) + "; check the file and its permissions";
    }
    if (std::string error = ReadRegFile(text, path_, store()); !error.empty()) return error + advice;
  } else if (errno != ENOENT) {
    return "cannot read " + path_ + ": " + Reason(errno) + "; check its permissions";
  }

  Fd log(::open(logPath.c_str(), (writable_ ? O_RDWR | O_APPEND : O_RDONLY) | O_CLOEXEC));
  if (log) {
    std::string text;
    if (int error = ReadAll(log.get(), text); error != 0) {
      return "cannot read " + logPath + ": " + Reason(error) + "; check the file and its permissions";
    }
    std::size_t complete = 0;
    if (std::string error = ReplayRegLog(text, logPath, store(), &complete); !error.empty()) {
      return error + "; correct or remove that line (changes after it are then lost)";
    }
    if (complete > 0) changed_ = true;
    if (writable_) {
      // Drop an unfinished last record so that new records start on a line of their own.
      if (complete < text.size() && ::ftruncate(log.get(), static_cast<off_t>(complete)) != 0) {
        return "cannot repair " + logPath + ": " + Reason(errno);
      }
      logSize_ = static_cast<off_t>(complete);
      log_ = std::move(log);
    }
  } else if (errno != ENOENT) {
    return "cannot read " + logPath + ": " + Reason(errno) + "; check its permissions";
  }

  if (writable_) ::unlink(TempPath(path_).c_str());  // left by a run killed while saving
  return std::string();
}

LONG FileRegistry::OpenLog() {
  log_ = Fd(::open(LogPath(path_).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, fileMode_ & 0666));
  if (!log_) return IsPermissionError(errno) ? ERROR_ACCESS_DENIED : ERROR_WRITE_FAULT;
  struct stat st;
  logSize_ = ::fstat(log_.get(), &st) == 0 ? st.st_size : 0;
  return ERROR_SUCCESS;
}

LONG FileRegistry::RecordChange(const Change& change) {
  if (closed_ || !writable_) return ERROR_ACCESS_DENIED;
  if (logBroken_) return ERROR_WRITE_FAULT;
  if (!log_) {
    if (LONG status = OpenLog(); status != ERROR_SUCCESS) return status;
  }
  using Kind = Change::Kind;
  std::string& record = record_;
  record.clear();
  switch (change.kind) {
    case Kind::kCreateKey:
      AppendKeyLine(record, change.keyPath, false);
      break;
    case Kind::kDeleteKey:
      AppendKeyLine(record, change.keyPath, true);
      break;
    case Kind::kSetValue:
    case Kind::kDeleteValue:
      if (change.keyPath != lastLoggedKey_) AppendKeyLine(record, change.keyPath, false);
      if (change.kind == Kind::kSetValue) {
        AppendValueLine(record, *change.value, false);
      } else {
        AppendValueDeleteLine(record, change.value->name);
      }
      break;
  }
  if (int error = WriteAll(log_.get(), record); error != 0) {
    // Take back whatever part of the record got written.
    if (::ftruncate(log_.get(), logSize_) != 0) logBroken_ = true;
    return IsPermissionError(error) ? ERROR_ACCESS_DENIED : ERROR_WRITE_FAULT;
  }
  logSize_ += static_cast<off_t>(record.size());
  // After a deleted key the log has no current key: the next value names its own.
  if (change.kind == Kind::kDeleteKey) {
    lastLoggedKey_.clear();
  } else {
    lastLoggedKey_.assign(change.keyPath);
  }
  changed_ = true;
  return ERROR_SUCCESS;
}

bool FileRegistry::Fold(std::string& error) {
  const std::string tempPath = TempPath(path_);
  const std::string kept =
      "; the changes are kept in " + LogPath(path_) + " and are applied at the next start";
  Fd temp(::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, fileMode_ & 0666));
  if (!temp) {
    error = "cannot create " + tempPath + ": " + Reason(errno) + kept;
    return false;
  }
  int failure = ::fchmod(temp.get(), fileMode_) == 0 ? 0 : errno;
  if (failure == 0) failure = WriteAll(temp.get(), WriteRegFile(store()));
  if (failure == 0 && ::fsync(temp.get()) != 0) failure = errno;
  if (failure == 0) {
    int closing = ::close(temp.Release());
    if (closing != 0) failure = errno;
  }
  if (failure == 0 && ::rename(tempPath.c_str(), path_.c_str()) != 0) failure = errno;
  if (failure != 0) {
    ::unlink(tempPath.c_str());
    error = "cannot save " + path_ + ": " + Reason(failure) + kept;
    return false;
  }
  // The rename is durable once the directory is synced; only then may the log go.
  Fd directory(::open(directory_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!directory || ::fsync(directory.get()) != 0) {
    error = "cannot sync the directory " + directory_ + ": " + Reason(errno) + kept;
    return false;
  }
  log_.Reset();
  if (::unlink(LogPath(path_).c_str()) != 0 && errno != ENOENT) {
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
    log_.Reset();
    ::unlink(LogPath(path_).c_str());
  }
  log_.Reset();
  lock_.Reset();  // releases the lock
  return saved;
}

}  // namespace platform::portable
