// The registry backend against the real registry (Wine's, under CTest).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "Native.h"
#include "platform/Registry.h"
#include "platform/win32/Backend.h"

namespace {

using namespace platform;

constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;

// Each test its own key: CTest runs the tests at once in one Wine prefix.
std::string TestKey(const std::string& parent) {
  return parent + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

class RegistryTest : public ::testing::Test {
 protected:
  const std::string kScratch = TestKey("Software\\MarvaneTests");

  void SetUp() override { ASSERT_TRUE(native::DeleteTree(native::Root::CurrentUser, kScratch)); }
  void TearDown() override {
    registry.reset();
    native::DeleteTree(native::Root::CurrentUser, kScratch);
  }

  HKEY Create(const std::string& path) {
    HKEY key = 0;
    EXPECT_EQ(registry->RegCreateKeyA(HKEY_CURRENT_USER, (kScratch + "\\" + path).c_str(), &key),
              ERROR_SUCCESS);
    return key;
  }

  std::unique_ptr<Registry> registry = win32::MakeRegistry();
};

TEST_F(RegistryTest, ValuesWrittenThroughAHandleReadBack) {
  UniqueKey key(*registry, Create("Values"));
  ASSERT_TRUE(key);
  EXPECT_FALSE(IsPredefinedKey(key.Get()));
  const char text[] = "MS Access;";
  ASSERT_EQ(
      registry->RegSetValueExA(key.Get(), "FIL", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text),
      ERROR_SUCCESS);
  DWORD number = 2048;
  ASSERT_EQ(registry->RegSetValueExA(key.Get(), "MaxBufferSize", 0, REG_DWORD,
                                     reinterpret_cast<const BYTE*>(&number), sizeof number),
            ERROR_SUCCESS);

  // Read through a second handle, opened by RegOpenKeyA.
  UniqueKey again(*registry);
  ASSERT_EQ(registry->RegOpenKeyA(HKEY_CURRENT_USER, (kScratch + "\\Values").c_str(), again.Put()),
            ERROR_SUCCESS);
  EXPECT_NE(again.Get(), key.Get());
  char buffer[32] = {};
  DWORD type = 0, size = sizeof buffer;
  ASSERT_EQ(
      registry->RegQueryValueExA(again.Get(), "FIL", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, sizeof text);
  EXPECT_STREQ(buffer, text);

  DWORD read = 0;
  size = sizeof read;
  ASSERT_EQ(registry->RegQueryValueExA(again.Get(), "MaxBufferSize", nullptr, &type,
                                       reinterpret_cast<BYTE*>(&read), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(read, 2048u);

  // Windows' own answers come through: too small a buffer, a missing value.
  size = 4;
  EXPECT_EQ(
      registry->RegQueryValueExA(again.Get(), "FIL", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size),
      ERROR_MORE_DATA);
  EXPECT_EQ(size, sizeof text);
  size = sizeof buffer;
  EXPECT_EQ(registry->RegQueryValueExA(again.Get(), "Nothing", nullptr, &type,
                                       reinterpret_cast<BYTE*>(buffer), &size),
            ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryTest, OpenWithAccessMaskAndMissingKeys) {
  UniqueKey created(*registry, Create("Open"));
  HKEY key = 123;
  EXPECT_EQ(
      registry->RegOpenKeyExA(HKEY_CURRENT_USER, (kScratch + "\\Open").c_str(), 0, KEY_QUERY_VALUE, &key),
      ERROR_SUCCESS);
  UniqueKey owner(*registry, key);
  // Opened for reading only: Windows refuses a write.
  DWORD number = 1;
  EXPECT_EQ(
      registry->RegSetValueExA(key, "X", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number),
      ERROR_ACCESS_DENIED);

  HKEY missing = 123;
  EXPECT_EQ(
      registry->RegOpenKeyExA(HKEY_CURRENT_USER, (kScratch + "\\Absent").c_str(), 0, KEY_READ, &missing),
      ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing, 0u);
  missing = 123;
  EXPECT_EQ(registry->RegOpenKeyA(HKEY_CURRENT_USER, (kScratch + "\\Absent").c_str(), &missing),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(missing, 0u);
}

TEST_F(RegistryTest, HandlesCloseExactlyOnce) {
  HKEY first = Create("Close");
  HKEY second = Create("Close");
  ASSERT_NE(first, 0u);
  ASSERT_NE(first, second);
  EXPECT_EQ(registry->RegCloseKey(first), ERROR_SUCCESS);
  EXPECT_EQ(registry->RegCloseKey(first), ERROR_INVALID_HANDLE);
  // The other handle to the same key is untouched.
  DWORD number = 3;
  EXPECT_EQ(registry->RegSetValueExA(second, "Threads", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                                     sizeof number),
            ERROR_SUCCESS);
  EXPECT_EQ(registry->RegCloseKey(second), ERROR_SUCCESS);
  // A closed handle is no longer a key.
  EXPECT_EQ(registry->RegSetValueExA(second, "Threads", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                                     sizeof number),
            ERROR_INVALID_HANDLE);

  // A root is never closed: it stays usable.
  EXPECT_EQ(registry->RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
  UniqueKey still(*registry, Create("Close"));
  EXPECT_TRUE(still);
}

TEST_F(RegistryTest, UnknownAndNullHandlesAreInvalid) {
  DWORD number = 0;
  HKEY out = 77;
  for (HKEY bad : {HKEY{0}, HKEY{12345}, HKEY{0x7FFFFFFF}}) {
    EXPECT_EQ(registry->RegOpenKeyExA(bad, "Software", 0, KEY_READ, &out), ERROR_INVALID_HANDLE) << bad;
    EXPECT_EQ(out, 0u);
    EXPECT_EQ(registry->RegCreateKeyA(bad, "Software", &out), ERROR_INVALID_HANDLE) << bad;
    EXPECT_EQ(registry->RegSetValueExA(bad, "X", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                                       sizeof number),
              ERROR_INVALID_HANDLE)
        << bad;
    DWORD size = sizeof number;
    EXPECT_EQ(registry->RegQueryValueExA(bad, "X", nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &size),
              ERROR_INVALID_HANDLE)
        << bad;
  }
  EXPECT_EQ(registry->RegCloseKey(0), ERROR_INVALID_HANDLE);
  EXPECT_EQ(registry->RegCloseKey(4242), ERROR_INVALID_HANDLE);
}

TEST_F(RegistryTest, KeysAndValuesDeleteAndQueryInfoCountsWhatIsLeft) {
  const std::string path = kScratch + "\\Delete";
  UniqueKey key(*registry, Create("Delete"));
  UniqueKey child(*registry, Create("Delete\\Engines"));
  ASSERT_TRUE(key && child);
  const char text[] = "C:\\Data\\Marvane.mdb";
  for (const char* name : {"DBQ", "Driver"}) {
    ASSERT_EQ(registry->RegSetValueExA(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                       sizeof text),
              ERROR_SUCCESS);
  }
  auto info = [&](HKEY handle, DWORD& subKeys, DWORD& values) {
    return registry->RegQueryInfoKeyCounts(handle, &subKeys, &values);
  };
  DWORD subKeys = 9, values = 9;
  ASSERT_EQ(info(key.Get(), subKeys, values), ERROR_SUCCESS);
  EXPECT_EQ(std::to_string(subKeys) + " " + std::to_string(values), "1 2");

  EXPECT_EQ(registry->RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str()), ERROR_ACCESS_DENIED);  // has a subkey
  EXPECT_EQ(registry->RegDeleteValueA(key.Get(), "dbq"), ERROR_SUCCESS);
  EXPECT_EQ(registry->RegDeleteValueA(key.Get(), "DBQ"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(registry->RegDeleteKeyA(key.Get(), "Engines"), ERROR_SUCCESS);  // relative to the handle
  EXPECT_EQ(registry->RegDeleteKeyA(key.Get(), "Engines"), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(info(key.Get(), subKeys, values), ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 0u);
  EXPECT_EQ(values, 1u);
  char name[7];  // "Driver" and its NUL
  DWORD length = sizeof name, size = 0;
  EXPECT_EQ(registry->RegEnumValueA(key.Get(), 0, name, &length, nullptr, nullptr, nullptr, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::string(name) + " " + std::to_string(length) + " " + std::to_string(size), "Driver 6 20");
  EXPECT_EQ(registry->RegEnumValueA(key.Get(), 1, name, &length, nullptr, nullptr, nullptr, nullptr),
            ERROR_NO_MORE_ITEMS);

  // Handles left open to a deleted key are Windows' to answer, and still close.
  EXPECT_EQ(registry->RegDeleteKeyA(HKEY_CURRENT_USER, path.c_str()), ERROR_SUCCESS);
  EXPECT_FALSE(native::KeyExists(native::Root::CurrentUser, path));
  EXPECT_EQ(registry->RegSetValueExA(key.Get(), "After", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                     sizeof text),
            ERROR_KEY_DELETED);
  EXPECT_EQ(registry->RegDeleteValueA(4242, "x"), ERROR_INVALID_HANDLE);
  EXPECT_EQ(registry->RegDeleteKeyA(4242, "x"), ERROR_INVALID_HANDLE);
  EXPECT_EQ(info(4242, subKeys, values), ERROR_INVALID_HANDLE);
  EXPECT_EQ(key.Close(), ERROR_SUCCESS);
  EXPECT_EQ(child.Close(), ERROR_SUCCESS);
}

// The key the program names is the key written, whatever this program's
// bitness (see KeyView.h for what plain calls would do under WOW64).
class RegistryViewTest : public ::testing::Test {
 protected:
  const std::string kNamed = TestKey("SOFTWARE\\WOW6432node\\MarvaneTests");
  const std::string kDoubled = TestKey("SOFTWARE\\Wow6432Node\\WOW6432node\\MarvaneTests");

  void SetUp() override {
    if (!native::CanWrite(native::Root::LocalMachine, kNamed)) GTEST_SKIP() << "HKLM is not writable";
    native::DeleteTree(native::Root::LocalMachine, kNamed);
    native::DeleteTree(native::Root::LocalMachine, kDoubled);
  }
  void TearDown() override {
    native::DeleteTree(native::Root::LocalMachine, kNamed);
    native::DeleteTree(native::Root::LocalMachine, kDoubled);
  }

  void CreateAndOpen(Registry& registry) {
    HKEY key = 0;
    ASSERT_EQ(registry.RegCreateKeyA(HKEY_LOCAL_MACHINE, (kNamed + "\\Created").c_str(), &key),
              ERROR_SUCCESS);
    EXPECT_EQ(registry.RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(registry.RegOpenKeyA(HKEY_LOCAL_MACHINE, (kNamed + "\\Created").c_str(), &key), ERROR_SUCCESS);
    EXPECT_EQ(registry.RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(registry.RegOpenKeyExA(HKEY_LOCAL_MACHINE, (kNamed + "\\Created").c_str(), 0, KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(registry.RegCloseKey(key), ERROR_SUCCESS);
  }
};

TEST_F(RegistryViewTest, KeysLandAtTheNamedPath) {
  auto registry = win32::MakeRegistry();
  CreateAndOpen(*registry);
  EXPECT_TRUE(native::KeyExists(native::Root::LocalMachine, kNamed + "\\Created"));
  EXPECT_FALSE(native::KeyExists(native::Root::LocalMachine, kDoubled));
}

TEST_F(RegistryViewTest, ProcessIsWow64OnlyAs32BitOn64BitWindows) {
  bool expected = sizeof(void*) == 4 && native::SystemIs64Bit();
  EXPECT_EQ(win32::ProcessIsWow64(), expected);
}

// What the backend's 64-bit view avoids. Windows 7 and later reach the key
// named; Wine 8 redirects SOFTWARE\WOW6432node once more. Wine's answer is
// only recorded, either way: the key lands in exactly one of the two places.
TEST_F(RegistryViewTest, PlainCallsUnderWow64) {
  if (!win32::ProcessIsWow64()) GTEST_SKIP() << "not a WOW64 process";
  const std::string wine = native::WineVersion();
  if (wine.empty() &&
      (native::MajorVersion() < 6 || (native::MajorVersion() == 6 && native::MinorVersion() < 1))) {
    GTEST_SKIP() << "only Windows 7 and later are known to reach a named Wow6432Node";
  }
  auto plain = win32::MakeRegistry(false);
  HKEY key = 0;
  ASSERT_EQ(plain->RegCreateKeyA(HKEY_LOCAL_MACHINE, (kNamed + "\\Created").c_str(), &key), ERROR_SUCCESS);
  EXPECT_EQ(plain->RegCloseKey(key), ERROR_SUCCESS);
  const bool named = native::KeyExists(native::Root::LocalMachine, kNamed + "\\Created");
  const bool doubled = native::KeyExists(native::Root::LocalMachine, kDoubled + "\\Created");
  EXPECT_NE(named, doubled) << "named " << named << ", redirected again " << doubled;
  if (wine.empty()) {
    EXPECT_TRUE(named);
  } else {
    std::printf("Wine %s %s a named SOFTWARE\\WOW6432node again\n", wine.c_str(),
                doubled ? "redirects" : "does not redirect");
  }
}

// Deleting takes the key named too, not its redirected twin. A key of its
// own: the tests above run at the same time and clear theirs.
TEST(RegistryViewDeleteTest, DeletesTakeTheNamedKey) {
  const std::string named = "SOFTWARE\\WOW6432node\\MarvaneDeleteTests";
  if (!native::CanWrite(native::Root::LocalMachine, named)) GTEST_SKIP() << "HKLM is not writable";
  auto registry = win32::MakeRegistry();
  HKEY key = 0;
  ASSERT_EQ(registry->RegCreateKeyA(HKEY_LOCAL_MACHINE, (named + "\\Created").c_str(), &key), ERROR_SUCCESS);
  EXPECT_EQ(registry->RegCloseKey(key), ERROR_SUCCESS);
  ASSERT_TRUE(native::KeyExists(native::Root::LocalMachine, named + "\\Created"));
  EXPECT_EQ(registry->RegDeleteKeyA(HKEY_LOCAL_MACHINE, (named + "\\Created").c_str()), ERROR_SUCCESS);
  EXPECT_FALSE(native::KeyExists(native::Root::LocalMachine, named + "\\Created"));
  EXPECT_EQ(registry->RegDeleteKeyA(HKEY_LOCAL_MACHINE, named.c_str()), ERROR_SUCCESS);
  EXPECT_FALSE(native::KeyExists(native::Root::LocalMachine, named));
}

}  // namespace
