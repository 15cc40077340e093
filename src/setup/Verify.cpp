#include "setup/Verify.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <vector>

using namespace platform;

namespace {

// \\server\share of a network path, X: of a drive path; "" for anything else.
std::string RootOf(const std::string& path) {
  if (path.rfind("\\\\", 0) == 0) {
    const std::size_t server = path.find('\\', 2);
    if (server == std::string::npos) return path;
    return path.substr(0, path.find('\\', server + 1));
  }
  const char drive =
      static_cast<char>(std::tolower(static_cast<unsigned char>(path.empty() ? ' ' : path[0])));
  if (path.size() >= 2 && drive >= 'a' && drive <= 'z' && path[1] == ':') return path.substr(0, 2);
  return "";
}

// What a path names by its name alone, whatever is there: a device or pipe
// of the Win32 device namespace (\\.\pipe\x, \\?\GLOBALROOT\...; not the
// file forms \\?\C:\ and \\?\UNC\), a server's pipes or mailslots
// (\\server\pipe\x), or a DOS device in any folder and with any extension
// (C:\x\NUL.mdb, COM1). Windows reaches those without a file system, so
// even a look at their attributes opens them: a pipe's server would see
// this program connect.
bool NamesDeviceOrPipe(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  path = LowerCase(path);
  for (const char* prefix : {"\\\\.\\", "\\\\?\\", "\\??\\"}) {
    if (path.rfind(prefix, 0) != 0) continue;
    const std::string rest = path.substr(4);
    if (rest.rfind("unc\\", 0) == 0) {
      path = "\\\\" + rest.substr(4);
    } else if (rest.size() >= 3 && rest[0] >= 'a' && rest[0] <= 'z' && rest[1] == ':' && rest[2] == '\\') {
      path = rest;
    } else {
      return true;
    }
  }
  if (path.rfind("\\\\", 0) == 0) {
    const std::size_t share = path.find('\\', 2);
    const std::string name =
        share == std::string::npos ? "" : path.substr(share + 1, path.find('\\', share + 1) - share - 1);
    if (name == "pipe" || name == "mailslot") return true;
  }
  std::string name = path.substr(path.find_last_of("\\:") + 1);
  name.resize(std::min(name.size(), name.find('.')));
  name.erase(name.find_last_not_of(' ') + 1);
  const bool numbered = name.size() == 4 && (name.rfind("com", 0) == 0 || name.rfind("lpt", 0) == 0) &&
                        name[3] >= '1' && name[3] <= '9';
  return numbered || name == "con" || name == "prn" || name == "aux" || name == "nul" || name == "conin$" ||
         name == "conout$";
}

std::string Duration(DWORD milliseconds) {
  if (milliseconds >= 1000 && milliseconds % 1000 == 0) return std::to_string(milliseconds / 1000) + " s";
  return std::to_string(milliseconds) + " ms";
}

// SOFTWARE\ODBC\ODBC.INI\ -> SOFTWARE\ODBC\ODBCINST.INI\: the drivers of the same branch.
std::string DriversKey(const MdlODBC::Branch& branch) {
  std::string root = branch.root;
  return root.substr(0, root.size() - std::string("ODBC.INI\\").size()) + "ODBCINST.INI\\";
}

}  // namespace

std::vector<std::optional<std::string>> DataSourceVerifier::ReadTexts(
    const std::string& key, std::initializer_list<const char*> names, bool& keyFound) {
  std::vector<std::optional<std::string>> texts(names.size());
  UniqueKey handle(registry_);
  keyFound = handle.Open(HKEY_LOCAL_MACHINE, key.c_str(), KEY_READ) == ERROR_SUCCESS;
  for (std::size_t i = 0; keyFound && i < names.size(); ++i) {
    const char* name = names.begin()[i];
    DWORD type = 0;
    DWORD size = 0;
    if (registry_.RegQueryValueExA(handle.Get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
      continue;
    std::vector<BYTE> data(size);
    if (size != 0 &&
        registry_.RegQueryValueExA(handle.Get(), name, nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
      continue;
    const std::string text(reinterpret_cast<const char*>(data.data()),
                           std::min<std::size_t>(size, data.size()));
    texts[i] = text.substr(0, text.find('\0'));
  }
  return texts;
}

DataSourceVerifier::~DataSourceVerifier() {
  for (const UniqueHandle& thread : blocked_) files_.CancelSynchronousIo(thread.Get());
}

bool DataSourceVerifier::Attributes(const std::string& root, const std::string& path, DWORD& attributes,
                                    DWORD& error) {
  DWORD& spent = spent_[LowerCase(root)];
  if (spent >= timeLimit_) return false;
  // The thread may outlive this object: it shares the answer and owns its
  // copy of the path, and the file system lives as long as the process.
  struct Answer {
    DWORD attributes = INVALID_FILE_ATTRIBUTES;
    DWORD error = 0;
  };
  const auto answer = std::make_shared<Answer>();
  FileSystem* files = &files_;
  const ULONGLONG start = files_.GetTickCount64();
  UniqueHandle thread(files_, files_.CreateThread([files, answer, path] {
    answer->attributes = files->GetFileAttributesA(path.c_str());
    answer->error = files->GetLastError();
  }));
  if (!thread) {
    attributes = INVALID_FILE_ATTRIBUTES;
    error = files_.GetLastError();
    return true;
  }
  const DWORD left = timeLimit_ - spent;
  const DWORD waited = files_.WaitForSingleObject(thread.Get(), left);
  spent += static_cast<DWORD>(std::min<ULONGLONG>(files_.GetTickCount64() - start, left));
  if (waited != WAIT_OBJECT_0) {
    // Whatever it was blocked in is of no use any more.
    spent = timeLimit_;
    files_.CancelSynchronousIo(thread.Get());
    blocked_.push_back(std::move(thread));
    return false;
  }
  attributes = answer->attributes;
  error = answer->error;
  return true;
}

std::string DataSourceVerifier::As32BitProgramSees(const std::string& path) {
  if (!redirect_) {
    std::vector<char> system(MAX_PATH, '\0');
    std::vector<char> wow64(MAX_PATH, '\0');
    // No 32-bit system folder: 32-bit Windows, where nothing is redirected.
    if (system_.GetSystemDirectoryA(system.data(), MAX_PATH) == 0 ||
        files_.GetSystemWow64DirectoryA(wow64.data(), MAX_PATH) == 0)
      redirect_.emplace();
    else
      redirect_.emplace(system.data(), wow64.data());
  }
  const std::string& from = redirect_->first;
  if (from.empty() || !SameText(std::string_view(path).substr(0, from.size() + 1), from + "\\")) return path;
  return redirect_->second + path.substr(from.size());
}

std::string DataSourceVerifier::CheckFile(const std::string& what, const std::string& path,
                                          bool loadedBy32BitProgram) {
  // Every data source names the same driver files: each is looked at once.
  const auto [known, fresh] = checked_.try_emplace(what + '\n' + path + (loadedBy32BitProgram ? "*" : ""));
  if (fresh) known->second = LookAt(what, path, loadedBy32BitProgram);
  return known->second;
}

std::string DataSourceVerifier::LookAt(const std::string& what, const std::string& path,
                                       bool loadedBy32BitProgram) {
  const std::string looked = loadedBy32BitProgram ? As32BitProgramSees(path) : path;
  std::string named = what + " " + path;
  if (looked != path) named += ", for 32-bit programs " + looked;
  if (NamesDeviceOrPipe(looked)) return named + ": a device or pipe, not a regular file";
  const std::string root = RootOf(looked);
  if (root.empty()) return named + ": not a full path";
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  DWORD error = 0;
  if (!Attributes(root, looked, attributes, error))
    return named + ": " + root + " did not answer within " + Duration(timeLimit_);
  if (attributes == INVALID_FILE_ATTRIBUTES) return named + ": " + StatusText(static_cast<LONG>(error));
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return named + ": a folder, not a regular file";
  if (attributes & FILE_ATTRIBUTE_DEVICE) return named + ": a device or pipe, not a regular file";
  return "";
}

DataSourceResult DataSourceVerifier::Verify(const MdlODBC::Branch& branch, const DataSourceSpec& spec) {
  std::vector<std::string> reasons;
  const auto add = [&reasons](const std::string& reason) {
    if (!reason.empty()) reasons.push_back(reason);
  };

  const std::string key = branch.root + spec.name;
  bool registered = false;
  const auto values = ReadTexts(key, {"Driver", "DBQ"}, registered);
  const std::optional<std::string>& driver = values[0];
  const std::optional<std::string>& database = values[1];
  bool listing = false;
  const std::optional<std::string> listedAs = ReadTexts(branch.listing, {spec.name.c_str()}, listing)[0];

  // Not registered or not complete, as /check tells it.
  const DataSourceResult check = odbc_.CheckDataSource(branch, spec);
  if (check.verdict == Verdict::Missing) add("not complete: " + check.detail);
  if (check.verdict == Verdict::Failed) add(check.detail);
  if (registered && !database) add("no DBQ value in " + key);

  if (driver) add(CheckFile("Driver file", *driver, true));
  if (listedAs) {
    const std::string driverKey = DriversKey(branch) + *listedAs;
    bool driverRegistered = false;
    const std::optional<std::string> driverFile = ReadTexts(driverKey, {"Driver"}, driverRegistered)[0];
    if (!driverRegistered)
      add("driver \"" + *listedAs + "\" not registered: no key " + driverKey);
    else if (!driverFile)
      add("driver \"" + *listedAs + "\" not complete: no Driver value in " + driverKey);
    else
      add(CheckFile("driver \"" + *listedAs + "\": its Driver file", *driverFile, true));
  }
  if (database) add(CheckFile("DBQ file", *database, false));

  if (reasons.empty()) return {spec.name, Verdict::Usable, ""};
  std::string detail;
  for (const std::string& reason : reasons) detail += (detail.empty() ? "" : "; ") + reason;
  return {spec.name, Verdict::Unusable, detail};
}
