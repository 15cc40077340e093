#include "platform/portable/PrefixFileSystem.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/portable/MemoryRegistry.h"
#include "platform/portable/PortableSystemInfo.h"

namespace platform::portable {

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

DWORD Fail(LONG status) {
  lastError = static_cast<DWORD>(status);
  return INVALID_FILE_ATTRIBUTES;
}

// The entry of folder whose name matches name without regard to case, the
// exact one first; "" when there is none.
std::string Matching(const std::string& folder, const std::string& name) {
  struct stat st {};
  if (::lstat((std::filesystem::path(folder) / name).c_str(), &st) == 0) return name;
  std::string found;
  if (DIR* entries = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(entries))
      if (SameName(entry->d_name, name) && (found.empty() || found > entry->d_name)) found = entry->d_name;
    ::closedir(entries);
  }
  return found;
}

}  // namespace

DWORD PrefixFileSystem::GetFileAttributesA(const char* lpFileName) {
  const std::string path = lpFileName == nullptr ? "" : lpFileName;
  const auto slash = [](char c) { return c == '\\' || c == '/'; };
  std::vector<std::string> names;
  std::size_t rootSize = 0;  // names that make the drive or the share
  if (path.size() >= 2 && slash(path[0]) && slash(path[1])) {
    names = {"dosdevices", "unc"};
    rootSize = 4;
  } else if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
             (path.size() == 2 || slash(path[2]))) {
    names = {"dosdevices", std::string(1, static_cast<char>(path[0] | 0x20)) + ":"};
    rootSize = 2;
  } else {
    return Fail(ERROR_INVALID_NAME);
  }
  std::string name;
  for (std::size_t i = 2; i <= path.size(); ++i) {
    if (i < path.size() && !slash(path[i])) {
      name += path[i];
      continue;
    }
    if (name == ".." && names.size() > rootSize) names.pop_back();
    if (!name.empty() && name != "." && name != "..") names.push_back(name);
    name.clear();
  }
  if (names.size() <= 2) return Fail(ERROR_INVALID_NAME);  // not even a server or a drive

  // Each name looked up in the folder the path has reached, which may not
  // lie outside the state folder (Wine's dosdevices/c: -> ../drive_c does not).
  std::error_code error;
  const std::string top = std::filesystem::canonical(folder_, error).string();
  if (error) return Fail(ERROR_PATH_NOT_FOUND);
  std::string at = top;
  for (std::size_t i = 0; i < names.size(); ++i) {
    const bool last = i + 1 == names.size();
    const std::string found = Matching(at, names[i]);
    if (found.empty()) {
      if (names[1] == "unc" && i == 2) return Fail(ERROR_BAD_NETPATH);
      if (names[1] == "unc" && i == 3) return Fail(ERROR_BAD_NET_NAME);
      return Fail(last ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
    }
    at = std::filesystem::canonical(std::filesystem::path(at) / found, error).string();
    if (error)
      return Fail(error == std::errc::permission_denied ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND);
    if (at != top && at.rfind(top + '/', 0) != 0) return Fail(ERROR_ACCESS_DENIED);
  }
  // Only looked at, never opened: a FIFO would hold the look for ever.
  struct stat st {};
  if (::stat(at.c_str(), &st) != 0) return Fail(ERROR_FILE_NOT_FOUND);
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  return S_ISREG(st.st_mode) ? FILE_ATTRIBUTE_ARCHIVE : FILE_ATTRIBUTE_DEVICE;
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
