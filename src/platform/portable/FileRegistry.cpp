#include "platform/portable/FileRegistry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

namespace platform::portable {

namespace {

std::string Why(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

// flock has no time limit of its own: asked again and again without
// blocking until the lock is had or the wait is over (EWOULDBLOCK then).
int LockFile(int fd, int operation, std::chrono::milliseconds wait) {
  const auto giveUp = std::chrono::steady_clock::now() + wait;
  while (::flock(fd, operation | LOCK_NB) != 0) {
    if (errno != EINTR && (errno != EWOULDBLOCK || std::chrono::steady_clock::now() >= giveUp)) return errno;
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

FileRegistry::Opened FileRegistry::Open(const std::string& path, bool readOnly,
                                        std::chrono::milliseconds lockWait) {
  std::unique_ptr<FileRegistry> registry(new FileRegistry(path));
  bool busy = false;
  std::string error = registry->Load(readOnly, lockWait, busy);
  if (!error.empty()) registry.reset();
  return {std::move(registry), error, busy};
}

std::string FileRegistry::Load(bool readOnly, std::chrono::milliseconds lockWait, bool& busy) {
  if (!readOnly) {
    for (std::size_t slash = directory_.find('/', 1);; slash = directory_.find('/', slash + 1)) {
      if (::mkdir(directory_.substr(0, slash).c_str(), 0755) != 0 && errno != EEXIST && errno != EACCES)
        return Why("cannot create the folder " + directory_.substr(0, slash) + " for " + path_, errno) +
               "; create it or set HOME to a usable place";
      if (slash == std::string::npos) break;
    }
    writable_ = ::access(directory_.c_str(), W_OK | X_OK) == 0 &&
                (::access(path_.c_str(), W_OK) == 0 || errno == ENOENT);
  }
  const std::string lockPath = path_ + ".lock";
  lock_ = ::open(lockPath.c_str(), (writable_ ? O_RDWR | O_CREAT : O_RDONLY) | O_CLOEXEC, 0644);
  if (lock_ < 0 && writable_) return Why("cannot open the lock file " + lockPath, errno);
  // Reading only, a lock file that is not there means no run is changing anything.
  if (lock_ >= 0) {
    if (const int error = LockFile(lock_, writable_ ? LOCK_EX : LOCK_SH, lockWait); error == EWOULDBLOCK) {
      busy = true;
      return "another run of setup has held " + lockPath + " for " +
             std::to_string(std::chrono::duration_cast<std::chrono::seconds>(lockWait).count()) +
             " seconds; nothing was changed. Run setup again once it has finished.";
    } else if (error != 0) {
      return Why("cannot lock " + lockPath, error);
    }
  }
  SetReadOnly(!writable_);

  std::ifstream file(path_, std::ios::binary);
  if (!file) return errno == ENOENT ? "" : Why("cannot read " + path_, errno) + "; check its permissions";
  std::ostringstream text;
  text << file.rdbuf();
  if (std::string problem = ReadRegFile(text.str(), path_, root()); !problem.empty())
    return problem + "; correct the file, or move it away to start with an empty registry";
  return "";
}

std::string FileRegistry::Save() {
  const std::string temp = path_ + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out << Export();
    if (!out.flush()) return Why("cannot write " + temp, errno);
  }
  if (std::rename(temp.c_str(), path_.c_str()) != 0) {
    const int error = errno;
    std::remove(temp.c_str());
    return Why("cannot save " + path_, error);
  }
  return "";
}

bool FileRegistry::Close(std::string& error) {
  error.clear();
  if (closed_) return true;
  closed_ = true;
  SetReadOnly(true);
  if (writable_ && Changed()) error = Save();
  if (lock_ >= 0) ::close(lock_);  // and with it the lock
  return error.empty();
}

}  // namespace platform::portable
