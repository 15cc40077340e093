#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "platform/portable/MemoryRegistry.h"

namespace platform::portable {
namespace {

// From exported text: the names of the values in section's lines, or with
// values false the names of the keys directly below section, each followed by a space.
std::string Listed(const std::string& exported, const std::string& section, bool values = true) {
  const std::string head = "[HKEY_LOCAL_MACHINE\\" + section + (values ? "]\n" : "\\");
  std::string names;
  for (std::size_t at = exported.find(head); at != std::string::npos; at = exported.find(head, at + 1)) {
    const std::size_t start = at + head.size();
    if (values) {
      for (std::size_t line = start; exported[line] == '"'; line = exported.find('\n', line) + 1)
        names += exported.substr(line + 1, exported.find('"', line + 1) - line - 1) + " ";
      break;
    }
    const std::string_view name(exported.c_str() + start, exported.find(']', start) - start);
    if (name.find('\\') == std::string_view::npos) names.append(name).append(" ");
  }
  return names;
}

class MemoryRegistryTest : public ::testing::Test {
 protected:
  HKEY Create(const std::string& path) {
    HKEY key = 0;
    EXPECT_EQ(reg.RegCreateKeyA(HKEY_LOCAL_MACHINE, path.c_str(), &key), ERROR_SUCCESS) << path;
    return key;
  }
  LONG Open(const std::string& path, DWORD sam = KEY_READ, HKEY from = HKEY_LOCAL_MACHINE) {
    HKEY key = 0;
    LONG status = reg.RegOpenKeyExA(from, path.c_str(), 0, sam, &key);
    reg.RegCloseKey(key);
    return status;
  }
  LONG Set(HKEY key, const char* name, const std::string& text, DWORD type = REG_SZ) {
    return reg.RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(text.data()),
                              static_cast<DWORD>(text.size()));
  }
  std::string Get(HKEY key, const char* name, DWORD* type = nullptr) {
    BYTE data[64];
    DWORD size = sizeof data;
    LONG status = reg.RegQueryValueExA(key, name, nullptr, type, data, &size);
    return status == ERROR_SUCCESS ? std::string(data, data + size) : "<" + std::to_string(status) + ">";
  }

  MemoryRegistry reg;
};

TEST_F(MemoryRegistryTest, OpenStatusesFollowWindows) {
  HKEY software = Create("SOFTWARE\\ODBC");
  EXPECT_EQ(Open("SOFTWARE\\ODBC\\"), ERROR_SUCCESS);
  EXPECT_EQ(Open("SOFTWARE\\Missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Open("\\SOFTWARE"), ERROR_BAD_PATHNAME);
  EXPECT_EQ(Open("SOFTWARE\\\\ODBC"), ERROR_BAD_PATHNAME);
  EXPECT_EQ(Open("SOFT\tWARE"), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Open(std::string(256, 'k')), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Open("SOFTWARE", KEY_READ, 0), ERROR_INVALID_HANDLE);
  EXPECT_EQ(Open("SOFTWARE", KEY_READ, 0x80000001u), ERROR_INVALID_HANDLE);  // only HKLM exists

  // "" gives a new handle from RegOpenKeyExA, the same one from RegOpenKeyA.
  HKEY again = 0, same = 0;
  ASSERT_EQ(reg.RegOpenKeyExA(software, "", 0, KEY_READ, &again), ERROR_SUCCESS);
  ASSERT_EQ(reg.RegOpenKeyA(software, nullptr, &same), ERROR_SUCCESS);
  EXPECT_NE(again, software);
  EXPECT_EQ(same, software);

  EXPECT_EQ(reg.RegCloseKey(software), ERROR_SUCCESS);
  EXPECT_EQ(reg.RegCloseKey(software), ERROR_INVALID_HANDLE);
  EXPECT_EQ(reg.RegCloseKey(0), ERROR_INVALID_HANDLE);
  EXPECT_EQ(reg.RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  EXPECT_EQ(Open("SOFTWARE"), ERROR_SUCCESS);  // the root stays usable
  EXPECT_EQ(reg.RegOpenKeyA(software, "x", &same), ERROR_INVALID_HANDLE);
  EXPECT_EQ(Set(software, "x", ""), ERROR_INVALID_HANDLE);
  EXPECT_EQ(Get(software, "x"), "<6>");
  EXPECT_NE(Create("SOFTWARE"), software);  // handles are not reused
}

TEST_F(MemoryRegistryTest, AccessRightsAndReadOnly) {
  Create("SOFTWARE\\ODBC");
  HKEY readOnly = 0, child = 0, setOnly = 0;
  ASSERT_EQ(reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &readOnly), ERROR_SUCCESS);
  EXPECT_EQ(Set(readOnly, "v", "1"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(reg.RegCreateKeyA(readOnly, "New", &child), ERROR_ACCESS_DENIED);
  ASSERT_EQ(reg.RegCreateKeyA(readOnly, "ODBC", &child), ERROR_SUCCESS);  // exists; grants all
  EXPECT_EQ(Set(child, "v", "1"), ERROR_SUCCESS);
  ASSERT_EQ(reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ODBC", 0, KEY_SET_VALUE, &setOnly),
            ERROR_SUCCESS);
  EXPECT_EQ(Set(setOnly, "v", "2"), ERROR_SUCCESS);
  EXPECT_EQ(Get(setOnly, "v"), "<5>");
  EXPECT_EQ(Set(HKEY_LOCAL_MACHINE, "v", "1"), ERROR_ACCESS_DENIED);  // the root holds no values

  reg.SetReadOnly(true);
  EXPECT_EQ(Open("SOFTWARE\\ODBC", KEY_ALL_ACCESS), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Open("SOFTWARE\\ODBC", KEY_READ), ERROR_SUCCESS);
  EXPECT_EQ(Set(child, "v", "3"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(reg.RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\New", &child), ERROR_ACCESS_DENIED);
  ASSERT_EQ(reg.RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ODBC", &child), ERROR_SUCCESS);
  ASSERT_EQ(reg.RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ODBC", &child), ERROR_SUCCESS);
  EXPECT_EQ(Get(child, "v"), "2");
  EXPECT_EQ(Set(child, "v", "3"), ERROR_ACCESS_DENIED);
}

TEST_F(MemoryRegistryTest, ValuesAreStoredAndReturnedAsGiven) {
  HKEY key = Create("SOFTWARE\\ODBC");
  const BYTE yes[] = {'Y', 'e', 's'};
  EXPECT_EQ(reg.RegSetValueExA(key, "a", 1, REG_SZ, yes, 3), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(reg.RegSetValueExA(key, "a", 0, REG_SZ, nullptr, 3), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(reg.RegSetValueExA(key, "a\n", 0, REG_SZ, yes, 3), ERROR_INVALID_PARAMETER);
  ASSERT_EQ(reg.RegSetValueExA(key, "a", 0, REG_EXPAND_SZ, yes, 3), ERROR_SUCCESS);
  ASSERT_EQ(reg.RegSetValueExA(key, nullptr, 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  ASSERT_EQ(Set(key, "", std::string("\1\0\0\0", 4), REG_DWORD), ERROR_SUCCESS);  // replaces the default

  DWORD reserved = 0, type = 99, size = 2;
  BYTE data[8] = {};
  EXPECT_EQ(reg.RegQueryValueExA(key, "a", &reserved, &type, data, &size), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(reg.RegQueryValueExA(key, "a", nullptr, &type, data, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(reg.RegQueryValueExA(key, "b", nullptr, &type, data, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(type, 99u);
  EXPECT_EQ(reg.RegQueryValueExA(key, "A", nullptr, &type, data, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(type, DWORD{REG_EXPAND_SZ});
  EXPECT_EQ(data[0], 0);
  type = 0;
  size = 0;
  EXPECT_EQ(reg.RegQueryValueExA(key, "a", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(Get(key, "a"), "Yes");  // no NUL added
  EXPECT_EQ(Get(key, nullptr, &type), std::string("\1\0\0\0", 4));
  EXPECT_EQ(type, DWORD{REG_DWORD});
}

TEST_F(MemoryRegistryTest, NamesIgnoreCaseAndKeepTheFirstSpelling) {
  HKEY key = Create("Software\\odbc");
  ASSERT_EQ(Set(key, "DataSource", "one"), ERROR_SUCCESS);
  ASSERT_EQ(Set(Create("SOFTWARE\\ODBC\\"), "DATASOURCE", "two"), ERROR_SUCCESS);
  EXPECT_EQ(Get(key, "datasource"), "two");
  EXPECT_EQ(Listed(reg.Export(), "Software\\odbc"), "DataSource ");

  for (const char* name : {"b", "C", "a", "B_", "\xE9"}) Create(std::string("K\\") + name);
  EXPECT_EQ(Listed(reg.Export(), "K", false), "a b B_ C \xE9 ");
}

TEST_F(MemoryRegistryTest, HardwareIsVolatile) {
  reg.AddVolatileValue("HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "Identifier", REG_SZ,
                       {'x', '8', '6', 0});
  HKEY cpu = 0;
  ASSERT_EQ(reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "hardware\\description\\system\\centralprocessor\\0", 0,
                              KEY_READ, &cpu),
            ERROR_SUCCESS);
  EXPECT_EQ(Get(cpu, "IDENTIFIER"), std::string("x86", 4));
  HKEY key = 0;
  EXPECT_EQ(reg.RegCreateKeyA(HKEY_LOCAL_MACHINE, "HARDWARE\\New\\Deeper", &key),
            ERROR_CHILD_MUST_BE_VOLATILE);
  EXPECT_EQ(Open("HARDWARE\\New"), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(reg.RegCreateKeyA(HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION", &key), ERROR_SUCCESS);
  EXPECT_EQ(Set(key, "Note", "in memory"), ERROR_SUCCESS);
  Create("SOFTWARE");
  EXPECT_THROW(reg.AddVolatileValue("SOFTWARE", "x", REG_SZ, {}), std::invalid_argument);
}

TEST_F(MemoryRegistryTest, DeleteStatusesFollowWindows) {
  reg.AddVolatileValue("HARDWARE\\DESCRIPTION", "Identifier", REG_SZ, {'x'});
  reg.RegCloseKey(Create("SOFTWARE\\A\\B"));
  HKEY a = 0, values = Create("SOFTWARE\\V"), readValues = 0;
  ASSERT_EQ(reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A", 0, KEY_QUERY_VALUE, &a), ERROR_SUCCESS);
  ASSERT_EQ(reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\V", 0, KEY_READ, &readValues), ERROR_SUCCESS);
  ASSERT_EQ(Set(values, "v", "1"), ERROR_SUCCESS);
  struct Case {
    HKEY from;
    const char* subKey;
    LONG status;
  };
  const Case keyCases[] = {
      {HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing", ERROR_FILE_NOT_FOUND},
      {HKEY_LOCAL_MACHINE, "SOFTWARE\\A", ERROR_ACCESS_DENIED},  // has a subkey
      {HKEY_LOCAL_MACHINE, "", ERROR_INVALID_PARAMETER},
      {HKEY_LOCAL_MACHINE, nullptr, ERROR_INVALID_PARAMETER},
      {HKEY_LOCAL_MACHINE, "\\SOFTWARE", ERROR_BAD_PATHNAME},
      {HKEY_LOCAL_MACHINE, "HARDWARE\\DESCRIPTION", ERROR_ACCESS_DENIED},  // volatile
      {0x7777, "B", ERROR_INVALID_HANDLE},
      {a, "b", ERROR_SUCCESS},  // relative to hKey, whose rights do not matter
      {a, "B", ERROR_FILE_NOT_FOUND},
  };
  for (const Case& c : keyCases)
    EXPECT_EQ(reg.RegDeleteKeyA(c.from, c.subKey), c.status) << (c.subKey ? c.subKey : "null");
  EXPECT_EQ(reg.RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A"), ERROR_SUCCESS);  // now a leaf

  const Case valueCases[] = {
      {values, "missing", ERROR_FILE_NOT_FOUND},
      {readValues, "v", ERROR_ACCESS_DENIED},  // no KEY_SET_VALUE
      {0x7777, "v", ERROR_INVALID_HANDLE},
      {a, "v", ERROR_KEY_DELETED},
      {values, "V", ERROR_SUCCESS},
      {values, "v", ERROR_FILE_NOT_FOUND},
  };
  for (const Case& c : valueCases) EXPECT_EQ(reg.RegDeleteValueA(c.from, c.subKey), c.status) << c.subKey;

  reg.SetReadOnly(true);
  reg.RegCloseKey(Create("SOFTWARE\\V"));
  EXPECT_EQ(reg.RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\V"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(reg.RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(reg.RegDeleteValueA(values, "v"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Open("SOFTWARE\\V"), ERROR_SUCCESS);
}

TEST_F(MemoryRegistryTest, HandlesToADeletedKeySayKeyDeletedUntilClosed) {
  HKEY key = Create("SOFTWARE\\ODBC\\DSN"), second = Create("SOFTWARE\\ODBC\\DSN"), child = 0;
  ASSERT_EQ(Set(key, "v", "1"), ERROR_SUCCESS);
  ASSERT_EQ(reg.RegDeleteKeyA(HKEY_LOCAL_MACHINE, "software\\odbc\\dsn"), ERROR_SUCCESS);
  reg.RegCloseKey(Create("SOFTWARE\\ODBC\\DSN"));  // a new key of the same name is another key
  DWORD count = 0;
  for (HKEY handle : {key, second}) {
    EXPECT_EQ(Get(handle, "v"), "<1018>");
    EXPECT_EQ(Set(handle, "v", "2"), ERROR_KEY_DELETED);
    EXPECT_EQ(reg.RegDeleteValueA(handle, "v"), ERROR_KEY_DELETED);
    EXPECT_EQ(reg.RegCreateKeyA(handle, "Sub", &child), ERROR_KEY_DELETED);
    EXPECT_EQ(reg.RegOpenKeyExA(handle, "", 0, KEY_READ, &child), ERROR_KEY_DELETED);
    EXPECT_EQ(reg.RegDeleteKeyA(handle, "Sub"), ERROR_KEY_DELETED);
    EXPECT_EQ(reg.RegQueryInfoKeyCounts(handle, &count, nullptr), ERROR_KEY_DELETED);
  }
  EXPECT_EQ(reg.RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(reg.RegCloseKey(second), ERROR_SUCCESS);
  EXPECT_EQ(reg.OpenHandleCount(), 0u);
  HKEY fresh = 0;
  ASSERT_EQ(reg.RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ODBC\\DSN", &fresh), ERROR_SUCCESS);
  EXPECT_EQ(Get(fresh, "v"), "<2>");
}

// Values are found through a name index kept beside their list, subkeys
// through their map; both must follow every add and delete, in small keys
// and large ones.
TEST_F(MemoryRegistryTest, LargeKeysFindEveryNameAfterAddsAndDeletes) {
  for (int count : {15, 16, 17, 100}) {
    SCOPED_TRACE(count);
    const std::string base = "SOFTWARE\\Big" + std::to_string(count);
    HKEY key = Create(base);
    auto name = [](int i) { return std::string("Name").append(std::to_string(i)); };
    auto data = [](int i) { return std::string("v").append(std::to_string(i)); };
    for (int i = 0; i < count; ++i) {
      ASSERT_EQ(Set(key, name(i).c_str(), data(i)), ERROR_SUCCESS);
      reg.RegCloseKey(Create(base + "\\" + name(i)));
    }
    auto gone = [count](int i) { return i % 3 == 0 || i == count - 1; };
    for (int i = 0; i < count; ++i) {
      if (!gone(i)) continue;
      ASSERT_EQ(reg.RegDeleteValueA(key, name(i).c_str()), ERROR_SUCCESS);
      ASSERT_EQ(reg.RegDeleteKeyA(key, name(i).c_str()), ERROR_SUCCESS);
    }
    std::string order;
    for (int i = 0; i < count; ++i) {
      std::string upper = name(i);
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      EXPECT_EQ(Get(key, upper.c_str()), gone(i) ? "<2>" : data(i)) << upper;
      EXPECT_EQ(Open(base + "\\" + upper), gone(i) ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS) << upper;
      if (!gone(i)) order += name(i) + " ";
    }
    EXPECT_EQ(Listed(reg.Export(), base), order);  // still in the order they were set
    ASSERT_EQ(Set(key, "name0", "again"), ERROR_SUCCESS);
    EXPECT_EQ(Get(key, "NAME0"), "again");
    reg.RegCloseKey(Create(base + "\\name0"));
    EXPECT_EQ(Open(base + "\\Name0"), ERROR_SUCCESS);
    reg.RegCloseKey(key);
  }
}

TEST_F(MemoryRegistryTest, DeletedValueLeavesTheOthersInOrderAndQueryInfoCountsWhatIsLeft) {
  HKEY key = Create("SOFTWARE\\ODBC\\DSN");
  reg.RegCloseKey(Create("SOFTWARE\\ODBC\\DSN\\Engines"));
  for (const char* name : {"Driver", "DBQ", "LongerName", "Z"})
    ASSERT_EQ(Set(key, name, name), ERROR_SUCCESS);
  ASSERT_EQ(reg.RegDeleteValueA(key, "dbq"), ERROR_SUCCESS);
  ASSERT_EQ(reg.RegDeleteValueA(key, "LONGERNAME"), ERROR_SUCCESS);
  EXPECT_EQ(Get(key, "Z"), "Z");  // the index follows the values that moved
  EXPECT_EQ(Get(key, "Driver"), "Driver");
  ASSERT_EQ(Set(key, "dbq", "again"), ERROR_SUCCESS);
  EXPECT_EQ(Listed(reg.Export(), "SOFTWARE\\ODBC\\DSN"), "Driver Z dbq ");

  DWORD subKeys = 9, values = 9;
  ASSERT_EQ(reg.RegQueryInfoKeyCounts(key, &subKeys, &values), ERROR_SUCCESS);
  EXPECT_EQ(std::vector<DWORD>({subKeys, values}), std::vector<DWORD>({1, 3}));
  HKEY setOnly = 0;
  ASSERT_EQ(reg.RegOpenKeyExA(key, "", 0, KEY_SET_VALUE, &setOnly), ERROR_SUCCESS);
  EXPECT_EQ(reg.RegQueryInfoKeyCounts(setOnly, nullptr, &values), ERROR_ACCESS_DENIED);

  // Enumerated in the same order, each with its name's length and its data's size.
  std::string names;
  char name[7];  // "Driver" and its NUL
  DWORD length = sizeof name, size = 0;
  for (DWORD i = 0; reg.RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, &size) == 0;
       ++i, length = sizeof name)
    names += std::string(name) + " " + std::to_string(length) + " " + std::to_string(size) + ", ";
  EXPECT_EQ(names, "Driver 6 6, Z 1 1, dbq 3 5, ");
  EXPECT_EQ(reg.RegEnumValueA(key, 3, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);
  length = 6;
  EXPECT_EQ(reg.RegEnumValueA(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
  EXPECT_EQ(reg.RegEnumValueA(setOnly, 0, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_ACCESS_DENIED);
}

// Enumeration keeps its place per handle; it must still name every subkey
// once, in order, when keys come and go between the calls.
TEST_F(MemoryRegistryTest, EnumerationByIndexFollowsAddsAndDeletes) {
  HKEY key = Create("SOFTWARE\\E"), other = Create("SOFTWARE\\E");
  for (const char* name : {"b", "d", "f"}) reg.RegCloseKey(Create(std::string("SOFTWARE\\E\\") + name));
  auto name = [&](HKEY handle, DWORD index) {
    char buffer[8];
    const LONG status = reg.RegEnumKeyA(handle, index, buffer, sizeof buffer);
    return status == ERROR_SUCCESS ? std::string(buffer) : "<" + std::to_string(status) + ">";
  };
  EXPECT_EQ(name(key, 0), "b");
  EXPECT_EQ(name(other, 2), "f");
  EXPECT_EQ(name(key, 1), "d");
  reg.RegCloseKey(Create("SOFTWARE\\E\\a"));  // before the place of both handles
  EXPECT_EQ(name(key, 2), "d");
  EXPECT_EQ(name(other, 3), "f");
  ASSERT_EQ(reg.RegDeleteKeyA(key, "d"), ERROR_SUCCESS);
  EXPECT_EQ(name(key, 2), "f");
  EXPECT_EQ(name(key, 0), "a");
  EXPECT_EQ(name(key, 3), "<259>");
  char tiny[1];
  EXPECT_EQ(reg.RegEnumKeyA(key, 1, tiny, sizeof tiny), ERROR_MORE_DATA);
  EXPECT_EQ(name(key, 1), "b");

  for (const char* value : {"x", "y", "z"}) ASSERT_EQ(Set(key, value, value), ERROR_SUCCESS);
  auto value = [&](DWORD index) {
    char buffer[8];
    DWORD length = sizeof buffer;
    const LONG status = reg.RegEnumValueA(key, index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    return status == ERROR_SUCCESS ? std::string(buffer) : "<" + std::to_string(status) + ">";
  };
  EXPECT_EQ(value(0) + value(1), "xy");
  ASSERT_EQ(reg.RegDeleteValueA(key, "x"), ERROR_SUCCESS);
  EXPECT_EQ(value(1) + value(2), "z<259>");
}

}  // namespace
}  // namespace platform::portable
