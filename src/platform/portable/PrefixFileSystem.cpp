#include "platform/portable/PrefixFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/portable/MemoryRegistry.h"
#include "platform/portable/PortableSystemInfo.h"
#include "platform/portable/UniqueFd.h"

namespace platform::portable {

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

DWORD Fail(LONG status) {
  lastError = static_cast<DWORD>(status);
  return INVALID_FILE_ATTRIBUTES;
}

// One name still to walk, with the index of the Windows path component it
// came from (a link's target takes the index of the link).
struct Step {
  std::string name;
  std::size_t index;
};

// The components below the folder, Windows' own . and .. already applied
// (never above the drive or the share); false for a path that is neither
// X:\... nor \\server\share\....
bool Components(const std::string& path, std::vector<std::string>& names, std::size_t& rootSize) {
  std::string rest;
  if (path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/')) {
    names = {"dosdevices", "unc"};
    rootSize = 4;  // dosdevices, unc, server, share
    rest = path.substr(2);
  } else if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
             (path.size() == 2 || path[2] == '\\' || path[2] == '/')) {
    names = {"dosdevices",
             std::string(1, static_cast<char>(std::tolower(static_cast<unsigned char>(path[0])))) + ":"};
    rootSize = 2;
    rest = path.substr(2);
  } else {
    return false;
  }
  std::size_t start = 0;
  while (start <= rest.size()) {
    std::size_t end = rest.find_first_of("\\/", start);
    if (end == std::string::npos) end = rest.size();
    const std::string name = rest.substr(start, end - start);
    if (name == "..") {
      if (names.size() > rootSize) names.pop_back();
    } else if (!name.empty() && name != ".") {
      names.push_back(name);
    }
    start = end + 1;
  }
  return names.size() > 2;  // at least a server, or a drive
}

// The entry of the folder whose name matches, the exact one first, into found
// with its status: 0, ENOENT when none matches, or why it cannot be examined.
int Find(int folder, const std::string& name, std::string& found, struct stat& status) {
  found = name;
  if (fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) return 0;
  found.clear();
  UniqueFd listing(openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  DIR* entries = listing ? fdopendir(listing.get()) : nullptr;
  if (entries == nullptr) return ENOENT;
  listing.release();  // closedir closes it
  while (const dirent* entry = readdir(entries))
    if (SameName(entry->d_name, name) && (found.empty() || found > entry->d_name)) found = entry->d_name;
  closedir(entries);
  if (found.empty()) return ENOENT;
  return fstatat(folder, found.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

LONG Missing(const std::vector<std::string>& names, std::size_t index, bool last) {
  if (names[1] == "unc" && index == 2) return ERROR_BAD_NETPATH;
  if (names[1] == "unc" && index == 3) return ERROR_BAD_NET_NAME;
  return last ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

}  // namespace

DWORD PrefixFileSystem::GetFileAttributesA(const char* lpFileName) {
  std::vector<std::string> names;
  std::size_t rootSize = 0;
  if (lpFileName == nullptr || !Components(lpFileName, names, rootSize)) return Fail(ERROR_INVALID_NAME);

  // The folders walked so far, each held open so that nothing renamed
  // meanwhile can take the walk elsewhere; a link's .. goes back up this
  // stack and never above its first entry, the folder itself.
  std::vector<UniqueFd> folders;
  folders.emplace_back(open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folders.back().get() < 0) return Fail(ERROR_PATH_NOT_FOUND);
  std::deque<Step> pending;
  for (std::size_t i = 0; i < names.size(); ++i) pending.push_back({names[i], i});

  for (int steps = 0; !pending.empty(); ++steps) {
    if (steps >= kMaxSteps) return Fail(ERROR_PATH_NOT_FOUND);
    const Step step = pending.front();
    pending.pop_front();
    if (step.name == "." || step.name.empty()) continue;
    if (step.name == "..") {
      if (folders.size() == 1) return Fail(ERROR_ACCESS_DENIED);  // out of the folder
      folders.pop_back();
      continue;
    }
    const bool last = pending.empty();
    const int folder = folders.back().get();
    std::string actual;
    struct stat status {};
    if (const int error = Find(folder, step.name, actual, status); error != 0)
      return Fail(error == EACCES ? ERROR_ACCESS_DENIED : Missing(names, step.index, last));
    if (S_ISLNK(status.st_mode)) {
      std::vector<char> target(PATH_MAX + 1, '\0');
      const ssize_t size = readlinkat(folder, actual.c_str(), target.data(), PATH_MAX);
      if (size <= 0 || target[0] == '/') return Fail(ERROR_ACCESS_DENIED);  // a link out of the folder
      std::vector<std::string> parts(1);
      for (ssize_t i = 0; i < size; ++i) {
        if (target[static_cast<std::size_t>(i)] == '/')
          parts.emplace_back();
        else
          parts.back() += target[static_cast<std::size_t>(i)];
      }
      for (auto part = parts.rbegin(); part != parts.rend(); ++part) pending.push_front({*part, step.index});
      continue;
    }
    if (last && S_ISREG(status.st_mode)) return FILE_ATTRIBUTE_ARCHIVE;
    if (last) return S_ISDIR(status.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_DEVICE;
    if (!S_ISDIR(status.st_mode)) return Fail(ERROR_PATH_NOT_FOUND);
    UniqueFd next(openat(folder, actual.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (next.get() < 0) return Fail(errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND);
    folders.push_back(std::move(next));
  }
  // Only links that led back to where they started: the folder itself is no drive or share.
  return Fail(ERROR_PATH_NOT_FOUND);
}

UINT PrefixFileSystem::GetSystemWow64DirectoryA(char* lpBuffer, UINT uSize) {
  if (is32Bit_) {
    lastError = static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
  }
  return CopyPath(kWow64Directory, lpBuffer, uSize);
}

DWORD PrefixFileSystem::GetLastError() {
  return lastError;
}

namespace {

std::atomic<int> running{0};  // worker threads whose work has not returned, in the process

}  // namespace

struct PrefixFileSystem::Thread {
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
};

HANDLE PrefixFileSystem::CreateThread(std::function<void()> work) {
  auto thread = std::make_shared<Thread>();
  ++running;
  try {
    std::thread([work = std::move(work), thread] {
      work();
      --running;
      const std::lock_guard<std::mutex> lock(thread->mutex);
      thread->done = true;
      thread->ended.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    --running;
    lastError = static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return threads_.emplace(thread.get(), thread).first->first;
}

DWORD PrefixFileSystem::WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  const auto found = threads_.find(hHandle);
  if (found == threads_.end()) {
    lastError = static_cast<DWORD>(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  Thread& thread = *found->second;
  std::unique_lock<std::mutex> lock(thread.mutex);
  return thread.ended.wait_for(lock, std::chrono::milliseconds(dwMilliseconds),
                               [&thread] { return thread.done; })
             ? WAIT_OBJECT_0
             : WAIT_TIMEOUT;
}

BOOL PrefixFileSystem::CancelSynchronousIo(HANDLE) {
  lastError = static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED);
  return 0;
}

BOOL PrefixFileSystem::CloseHandle(HANDLE hObject) {
  if (threads_.erase(hObject) != 0) return 1;
  lastError = static_cast<DWORD>(ERROR_INVALID_HANDLE);
  return 0;
}

ULONGLONG PrefixFileSystem::GetTickCount64() {
  return static_cast<ULONGLONG>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::steady_clock::now().time_since_epoch())
                                    .count());
}

}  // namespace platform::portable

namespace platform {

// The kernel ends every thread with the process, one blocked in a call
// included, unless that call cannot be interrupted even then (a FUSE
// request that its server took and never answers). While a worker is
// still in its work, the exit handlers are left out, as ExitProcess leaves
// out the C runtime's: a leak checker's would first stop every thread, and
// one blocked in a call never stops.
void ExitProcess(UINT uExitCode) {
  std::fflush(nullptr);
  if (portable::running > 0) std::_Exit(static_cast<int>(uExitCode));
  std::exit(static_cast<int>(uExitCode));
}

}  // namespace platform
