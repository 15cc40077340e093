#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "platform/portable/FileRegistry.h"

namespace platform::portable {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

LONG SetSz(Registry& reg, const std::string& keyPath, const std::string& name, const std::string& text) {
  UniqueKey key(reg);
  LONG status = reg.RegCreateKeyA(HKEY_LOCAL_MACHINE, keyPath.c_str(), key.Put());
  return status != ERROR_SUCCESS ? status
                                 : reg.RegSetValueExA(key.Get(), name.c_str(), 0, REG_SZ,
                                                      reinterpret_cast<const BYTE*>(text.data()),
                                                      static_cast<DWORD>(text.size()));
}

std::string GetSz(Registry& reg, const std::string& keyPath, const std::string& name) {
  UniqueKey key(reg);
  char data[512];
  DWORD size = sizeof data;
  if (reg.RegOpenKeyA(HKEY_LOCAL_MACHINE, keyPath.c_str(), key.Put()) != ERROR_SUCCESS ||
      reg.RegQueryValueExA(key.Get(), name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size) !=
          0)
    return "<none>";
  return std::string(data, size);
}

const std::string kSales = "SOFTWARE\\ODBC\\ODBC.INI\\Sales";

class FileRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "hklm-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    base = pattern;
    path = base + "/state/MarvaneSetup/HKLM.reg";
  }
  void TearDown() override { fs::remove_all(base); }

  std::unique_ptr<FileRegistry> OpenOk(bool readOnly = false) {
    FileRegistry::Opened opened = FileRegistry::Open(path, readOnly, milliseconds(0));
    EXPECT_EQ(opened.error, "");
    return std::move(opened.registry);
  }

  void Seed() {
    auto reg = OpenOk();
    ASSERT_EQ(SetSz(*reg, kSales, "Driver", "libx.so"), ERROR_SUCCESS);
    reg->AddVolatileValue("HARDWARE\\DESCRIPTION", "Identifier", REG_SZ, {'x', 0});
    EXPECT_FALSE(fs::exists(path));  // nothing is written before Close
    std::string error;
    ASSERT_TRUE(reg->Close(error)) << error;
    EXPECT_EQ(SetSz(*reg, "SOFTWARE", "After", "close"), ERROR_ACCESS_DENIED);
  }

  std::string base, path;
};

// The file is written again only when a kept key or value really changed:
// a rerun that finds everything in place leaves it byte for byte, inode and all.
TEST_F(FileRegistryTest, SavesOnlyWhatChangedAndRerunsLeaveTheFileAlone) {
  Seed();
  EXPECT_EQ(ReadFile(path),
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC]\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI]\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\Sales]\n\"Driver\"=\"libx.so\"\n\n");
  struct Case {
    const char* what;
    std::function<LONG(Registry&)> change;
    bool saved;
  };
  const Case cases[] = {
      {"the same value in other case",
       [](Registry& r) { return SetSz(r, "software\\odbc\\odbc.ini\\SALES", "driver", "libx.so"); }, false},
      {"a value below HARDWARE", [](Registry& r) { return SetSz(r, "HARDWARE", "Flag", "1"); }, false},
      {"other bytes", [](Registry& r) { return SetSz(r, kSales, "Driver", "liby.so"); }, true},
      {"a new key", [](Registry& r) { return SetSz(r, kSales + "\\Engines", "", ""); }, true},
      {"a deleted key", [](Registry& r) { return r.RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSales.c_str()); },
       true},
  };
  for (const Case& c : cases) {
    fs::remove(path);
    Seed();
    struct stat before {
    }, after{};
    ASSERT_EQ(stat(path.c_str(), &before), 0);
    const std::string text = ReadFile(path);
    auto reg = OpenOk();
    ASSERT_EQ(c.change(*reg), ERROR_SUCCESS) << c.what;
    std::string error;
    ASSERT_TRUE(reg->Close(error)) << error;
    ASSERT_EQ(stat(path.c_str(), &after), 0);
    EXPECT_EQ(ReadFile(path) != text || after.st_ino != before.st_ino, c.saved) << c.what;
    EXPECT_FALSE(fs::exists(path + ".tmp")) << c.what;
  }
}

TEST_F(FileRegistryTest, BadFilesAreReportedAndLeftAlone) {
  const std::string bad = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\S]\n\"a\"=dword:xyz\n";
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path, std::ios::binary) << bad;
  FileRegistry::Opened opened = FileRegistry::Open(path, false, milliseconds(0));
  EXPECT_FALSE(opened.registry);
  EXPECT_EQ(opened.error.rfind(path + ":4: dword:", 0), 0u) << opened.error;
  EXPECT_EQ(ReadFile(path), bad);
}

// A run that changes the registry holds it alone; one that only reads
// shares it with other readers. Who waits in vain is told so, as busy.
TEST_F(FileRegistryTest, RunsTakeTurns) {
  auto first = OpenOk();
  ASSERT_EQ(SetSz(*first, "SOFTWARE\\Run", "first", "1"), ERROR_SUCCESS);
  for (bool readOnly : {false, true}) {
    FileRegistry::Opened second = FileRegistry::Open(path, readOnly, milliseconds(20));
    EXPECT_FALSE(second.registry);
    EXPECT_TRUE(second.busy);
    EXPECT_NE(second.error.find("another run of setup has held " + path + ".lock"), std::string::npos);
  }
  first.reset();
  auto reader = OpenOk(true);
  auto otherReader = OpenOk(true);
  EXPECT_EQ(GetSz(*otherReader, "SOFTWARE\\Run", "first"), "1");  // read after the first run saved
  EXPECT_TRUE(FileRegistry::Open(path, false, milliseconds(20)).busy);
}

TEST_F(FileRegistryTest, ReadOnlyRegistryRefusesWritesAndTouchesNothing) {
  Seed();
  const std::string text = ReadFile(path);
  const std::string directory = fs::path(path).parent_path().string();
  const bool root = geteuid() == 0;  // root may write anyway: only the forced mode can be tested
  if (!root) fs::permissions(directory, fs::perms::owner_read | fs::perms::owner_exec);
  for (bool readOnly : {true, false}) {
    if (root && !readOnly) continue;
    auto reg = OpenOk(readOnly);
    EXPECT_TRUE(reg->IsReadOnly());
    HKEY key = 0;
    EXPECT_EQ(reg->RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS, &key),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(reg->RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\New", &key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(SetSz(*reg, kSales, "Driver", "other"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(reg->RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSales.c_str()), ERROR_ACCESS_DENIED);
    EXPECT_EQ(GetSz(*reg, kSales, "Driver"), "libx.so");
  }
  fs::permissions(directory, fs::perms::owner_all);
  EXPECT_EQ(ReadFile(path), text);
}

}  // namespace
}  // namespace platform::portable
