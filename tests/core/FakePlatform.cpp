#include "FakePlatform.h"

#include <algorithm>
#include <cctype>
#include <cstring>

using namespace platform;

namespace fake {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Dword(DWORD number) {
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i)
    bytes[static_cast<std::size_t>(i)] = static_cast<char>((number >> (8 * i)) & 0xFF);
  return bytes;
}

FakePlatform::FakePlatform() {
  version.dwPlatformId = 2;
  version.dwMajorVersion = 6;
  version.dwMinorVersion = 2;
}

void FakePlatform::Fail(const std::string& op, int occurrence, LONG status) {
  failures_[op][occurrence] = status;
}

std::optional<LONG> FakePlatform::Record(const std::string& op, const std::string& text) {
  calls_.push_back({op, text});
  const int n = ++counts_[op];
  auto failures = failures_.find(op);
  if (failures == failures_.end()) return std::nullopt;
  for (int key : {n, 0}) {
    auto it = failures->second.find(key);
    if (it != failures->second.end()) return it->second;
  }
  return std::nullopt;
}

std::vector<std::string> FakePlatform::CallTexts(const std::string& op) const {
  std::vector<std::string> texts;
  for (const Call& call : calls_)
    if (op.empty() || call.op == op) texts.push_back(call.text);
  return texts;
}

int FakePlatform::CountOf(const std::string& op) const {
  return static_cast<int>(
      std::count_if(calls_.begin(), calls_.end(), [&](const Call& c) { return c.op == op; }));
}

bool FakePlatform::HasKey(const std::string& path) const {
  return keys_.count(Lower(path)) != 0;
}

std::optional<Value> FakePlatform::GetValue(const std::string& path, const std::string& name) const {
  auto key = keys_.find(Lower(path));
  if (key == keys_.end()) return std::nullopt;
  for (const Value& value : key->second.values)
    if (Lower(value.name) == Lower(name)) return value;
  return std::nullopt;
}

std::map<std::string, std::string> FakePlatform::Snapshot() const {
  std::map<std::string, std::string> snapshot;
  for (const auto& [path, key] : keys_) {
    std::string text = key.path;
    for (const Value& value : key.values)
      text += "\n" + value.name + "=" + std::to_string(value.type) + ":" + value.data;
    snapshot[path] = text;
  }
  return snapshot;
}

void FakePlatform::PutKey(const std::string& path) {
  std::string::size_type end = 0;
  do {
    end = path.find('\\', end + 1);
    const std::string prefix = path.substr(0, end);
    keys_.emplace(Lower(prefix), Key{prefix, {}});
  } while (end != std::string::npos);
}

void FakePlatform::PutValue(const std::string& path, const std::string& name, DWORD type,
                            const std::string& data) {
  PutKey(path);
  Key& key = keys_[Lower(path)];
  for (Value& value : key.values) {
    if (Lower(value.name) == Lower(name)) {
      value = {value.name, type, data};
      return;
    }
  }
  key.values.push_back({name, type, data});
}

FakePlatform::Key* FakePlatform::KeyOf(HKEY hKey) {
  if (hKey == HKEY_LOCAL_MACHINE) {
    static Key root{"", {}};
    return &root;
  }
  auto handle = handles_.find(hKey);
  if (handle == handles_.end()) return nullptr;
  return &keys_[handle->second];
}

namespace {
std::string Quoted(const char* text) {
  if (!text) return "null";
  std::string quoted(1, '"');
  quoted.append(text).push_back('"');
  return quoted;
}
}  // namespace

LONG FakePlatform::Open(HKEY hKey, const char* lpSubKey, bool create, HKEY* phkResult) {
  Key* parent = KeyOf(hKey);
  if (!parent) return ERROR_INVALID_HANDLE;
  std::string path = parent->path;
  std::string sub = lpSubKey ? lpSubKey : "";
  if (!sub.empty() && sub.back() == '\\') sub.pop_back();
  if (!sub.empty()) path = path.empty() ? sub : path + "\\" + sub;
  if (path.empty()) return ERROR_INVALID_HANDLE;
  if (!HasKey(path)) {
    if (!create) return ERROR_FILE_NOT_FOUND;
    PutKey(path);
  }
  *phkResult = nextHandle_++;
  handles_[*phkResult] = Lower(path);
  return ERROR_SUCCESS;
}

LONG FakePlatform::RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, DWORD samDesired,
                                 HKEY* phkResult) {
  char sam[16];
  std::snprintf(sam, sizeof sam, "0x%X", samDesired);
  if (auto status = Record("RegOpenKeyExA", "RegOpenKeyExA(" + Quoted(lpSubKey) + ", " +
                                                std::to_string(ulOptions) + ", " + sam + ")"))
    return *status;
  return Open(hKey, lpSubKey, false, phkResult);
}

LONG FakePlatform::RegCreateKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) {
  if (auto status = Record("RegCreateKeyA", "RegCreateKeyA(" + Quoted(lpSubKey) + ")")) return *status;
  return Open(hKey, lpSubKey, true, phkResult);
}

LONG FakePlatform::RegOpenKeyA(HKEY hKey, const char* lpSubKey, HKEY* phkResult) {
  if (auto status = Record("RegOpenKeyA", "RegOpenKeyA(" + Quoted(lpSubKey) + ")")) return *status;
  return Open(hKey, lpSubKey, false, phkResult);
}

LONG FakePlatform::RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType,
                                  const BYTE* lpData, DWORD cbData) {
  Key* key = KeyOf(hKey);
  const std::string where = key ? key->path : "invalid";
  if (auto status = Record("RegSetValueExA", "RegSetValueExA(" + where + ", " + Quoted(lpValueName) + ", " +
                                                 std::to_string(Reserved) + ", " + std::to_string(dwType) +
                                                 ", " + std::to_string(cbData) + ")"))
    return *status;
  if (!key || hKey == HKEY_LOCAL_MACHINE) return ERROR_INVALID_HANDLE;
  PutValue(key->path, lpValueName ? lpValueName : "", dwType,
           std::string(reinterpret_cast<const char*>(lpData), cbData));
  return ERROR_SUCCESS;
}

LONG FakePlatform::RegCloseKey(HKEY hKey) {
  Key* key = hKey == 0 ? nullptr : KeyOf(hKey);
  if (auto status = Record("RegCloseKey", "RegCloseKey(" + (key ? key->path : std::to_string(hKey)) + ")"))
    return *status;
  if (IsPredefinedKey(hKey)) return ERROR_SUCCESS;
  return handles_.erase(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LONG FakePlatform::RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType,
                                    BYTE* lpData, DWORD* lpcbData) {
  Key* key = KeyOf(hKey);
  const std::string use = lpData ? "read " + std::to_string(lpcbData ? *lpcbData : 0) : "size";
  if (auto status = Record("RegQueryValueExA", "RegQueryValueExA(" + (key ? key->path : "invalid") + ", " +
                                                   Quoted(lpValueName) + ", " + use + ")"))
    return *status;
  if (!key) return ERROR_INVALID_HANDLE;
  if (lpReserved) return ERROR_INVALID_PARAMETER;
  auto value = GetValue(key->path, lpValueName ? lpValueName : "");
  if (!value) return ERROR_FILE_NOT_FOUND;
  if (lpType) *lpType = value->type;
  const DWORD size = static_cast<DWORD>(value->data.size());
  if (!lpData) {
    if (lpcbData) *lpcbData = size;
    return ERROR_SUCCESS;
  }
  if (!lpcbData) return ERROR_INVALID_PARAMETER;
  if (*lpcbData < size) {
    *lpcbData = size;
    return ERROR_MORE_DATA;
  }
  std::memcpy(lpData, value->data.data(), size);
  *lpcbData = size;
  return ERROR_SUCCESS;
}

std::string FakePlatform::PathBelow(HKEY hKey, const char* lpSubKey) {
  Key* parent = KeyOf(hKey);
  if (!parent) return "";
  std::string sub = lpSubKey ? lpSubKey : "";
  if (sub.empty()) return parent->path;
  return parent->path.empty() ? sub : parent->path + "\\" + sub;
}

std::size_t FakePlatform::SubkeyCount(const std::string& path) const {
  const std::string prefix = Lower(path) + "\\";
  std::size_t count = 0;
  for (const auto& [lower, key] : keys_)
    if (lower.rfind(prefix, 0) == 0 && lower.find('\\', prefix.size()) == std::string::npos) ++count;
  return count;
}

LONG FakePlatform::RegDeleteKeyA(HKEY hKey, const char* lpSubKey) {
  const std::string path = PathBelow(hKey, lpSubKey);
  if (auto status = Record("RegDeleteKeyA", "RegDeleteKeyA(" + Quoted(path.c_str()) + ")")) return *status;
  if (path.empty() || !lpSubKey || !*lpSubKey) return ERROR_INVALID_PARAMETER;
  if (!HasKey(path)) return ERROR_FILE_NOT_FOUND;
  if (SubkeyCount(path) != 0) return ERROR_ACCESS_DENIED;
  keys_.erase(Lower(path));
  return ERROR_SUCCESS;
}

LONG FakePlatform::RegDeleteValueA(HKEY hKey, const char* lpValueName) {
  Key* key = KeyOf(hKey);
  const std::string where = key ? key->path : "invalid";
  if (auto status = Record("RegDeleteValueA", "RegDeleteValueA(" + where + ", " + Quoted(lpValueName) + ")"))
    return *status;
  if (!key || hKey == HKEY_LOCAL_MACHINE) return ERROR_INVALID_HANDLE;
  const std::string name = Lower(lpValueName ? lpValueName : "");
  auto it = std::find_if(key->values.begin(), key->values.end(),
                         [&](const Value& value) { return Lower(value.name) == name; });
  if (it == key->values.end()) return ERROR_FILE_NOT_FOUND;
  key->values.erase(it);
  return ERROR_SUCCESS;
}

LONG FakePlatform::RegQueryInfoKeyCounts(HKEY hKey, DWORD* lpcSubKeys, DWORD* lpcValues) {
  Key* key = KeyOf(hKey);
  if (auto status =
          Record("RegQueryInfoKeyCounts", "RegQueryInfoKeyCounts(" + (key ? key->path : "invalid") + ")"))
    return *status;
  if (!key || hKey == HKEY_LOCAL_MACHINE) return ERROR_INVALID_HANDLE;
  if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(SubkeyCount(key->path));
  if (lpcValues) *lpcValues = static_cast<DWORD>(key->values.size());
  return ERROR_SUCCESS;
}

BOOL FakePlatform::GetVersionExA(OSVERSIONINFOA* info) {
  if (auto status =
          Record("GetVersionExA", "GetVersionExA(" + std::to_string(info->dwOSVersionInfoSize) + ")"))
    return 0;
  if (!versionFillsRecord) return 0;
  const DWORD size = info->dwOSVersionInfoSize;
  *info = version;
  info->dwOSVersionInfoSize = size;
  return 1;
}

UINT FakePlatform::GetSystemDirectoryA(char* lpBuffer, UINT uSize) {
  if (auto status = Record("GetSystemDirectoryA", "GetSystemDirectoryA(" + std::to_string(uSize) + ")"))
    return 0;
  const std::size_t n = std::min<std::size_t>(systemDirectory.size(), uSize - 1);
  std::memcpy(lpBuffer, systemDirectory.data(), n);
  lpBuffer[n] = '\0';
  return systemDirectoryResult ? systemDirectoryResult : static_cast<UINT>(n);
}

void FakePlatform::GetLocalTime(SYSTEMTIME* lpSystemTime) {
  Record("GetLocalTime", "GetLocalTime()");
  *lpSystemTime = SYSTEMTIME{year, 12, 2, 8, 9, 0, 0, 0};
}

WindowState& FakePlatform::StateOf(const Form& form) {
  return windows[&form];
}

void FakePlatform::RecordWindow(const std::string& op, const Form& form, const std::string& detail) {
  if (auto status = Record(op, op + "(" + form.Spec().caption + (detail.empty() ? "" : ", " + detail) + ")"))
    throw PlatformError(op + " failed", *status);
}

namespace {
std::string Number(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
  return text;
}
}  // namespace

void FakePlatform::Load(Form& form) {
  WindowState& state = StateOf(form);
  state.loaded = true;
  state.width = form.Spec().clientWidth + frameWidth;
  state.height = form.Spec().clientHeight + frameHeight;
  form.Load();
}

void FakePlatform::Run(Form& startup) {
  RecordWindow("Run", startup);
  Load(startup);
}

void FakePlatform::Show(Form& form) {
  RecordWindow("Show", form);
  if (!StateOf(form).loaded) Load(form);
  StateOf(form).visible = true;
}

float FakePlatform::Width(const Form& form) {
  RecordWindow("Width", form);
  return widthOverride ? *widthOverride : StateOf(form).width;
}

void FakePlatform::SetWidth(Form& form, float twips) {
  RecordWindow("SetWidth", form, Number(twips));
  StateOf(form).width = twips;
}

float FakePlatform::Height(const Form& form) {
  RecordWindow("Height", form);
  return StateOf(form).height;
}

void FakePlatform::SetHeight(Form& form, float twips) {
  RecordWindow("SetHeight", form, Number(twips));
  StateOf(form).height = twips;
}

void FakePlatform::SetLeft(Form& form, float twips) {
  RecordWindow("SetLeft", form, Number(twips));
  StateOf(form).left = twips;
}

void FakePlatform::SetTop(Form& form, float twips) {
  RecordWindow("SetTop", form, Number(twips));
  StateOf(form).top = twips;
}

void FakePlatform::Refresh(Form& form) {
  RecordWindow("Refresh", form);
}

void FakePlatform::Unload(Form& form) {
  RecordWindow("Unload", form);
  StateOf(form) = WindowState{};
}

int FakePlatform::MessageBoxA(const Form*, const char* lpText, const char* lpCaption, UINT uType) {
  if (Record("MessageBoxA", std::string("MessageBoxA(") + lpCaption + ": " + lpText + ")")) return 0;
  messageBoxes.push_back({lpText, lpCaption, uType});
  return IDOK;
}

}  // namespace fake
