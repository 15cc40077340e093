#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

#include "platform/portable/FileRegistry.h"

namespace platform::portable {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
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
  BYTE* bytes = reinterpret_cast<BYTE*>(data);
  if (reg.RegOpenKeyA(HKEY_LOCAL_MACHINE, keyPath.c_str(), key.Put()) != ERROR_SUCCESS) return "<none>";
  if (reg.RegQueryValueExA(key.Get(), name.c_str(), nullptr, nullptr, bytes, &size) != 0) return "<none>";
  return std::string(data, size);
}

class FileRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "hklm-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    base = pattern;
    path = base + "/state/MarvaneSetup/HKLM.reg";
    log = FileRegistry::LogPath(path);
  }
  void TearDown() override { fs::remove_all(base); }

  std::unique_ptr<FileRegistry> OpenOk(FileRegistry::Access access = FileRegistry::Access::kReadWrite) {
    FileRegistry::Opened opened = FileRegistry::Open(path, access);
    EXPECT_EQ(opened.error, "");
    return std::move(opened.registry);
  }

  void Seed() {
    auto reg = OpenOk();
    ASSERT_EQ(SetSz(*reg, "SOFTWARE\\ODBC\\ODBC.INI\\Sales", "Driver", "libx.so"), ERROR_SUCCESS);
    reg->AddVolatileValue("HARDWARE\\DESCRIPTION", "Identifier", REG_SZ, {'x', 0});
    ASSERT_EQ(SetSz(*reg, "HARDWARE\\DESCRIPTION", "Flag", "in memory"), ERROR_SUCCESS);
    EXPECT_EQ(ReadFile(log),
              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\Sales]\n\"Driver\"=\"libx.so\"\n");
    EXPECT_FALSE(fs::exists(path));
    std::string error;
    ASSERT_TRUE(reg->Close(error)) << error;
    EXPECT_EQ(SetSz(*reg, "SOFTWARE", "After", "close"), ERROR_ACCESS_DENIED);
  }

  std::string base, path, log;
};

TEST_F(FileRegistryTest, FoldsTheLogIntoTheFileAndRerunsLeaveItAlone) {
  Seed();
  EXPECT_EQ(ReadFile(path),
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC]\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI]\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\Sales]\n\"Driver\"=\"libx.so\"\n\n");
  EXPECT_FALSE(fs::exists(log));
  EXPECT_FALSE(fs::exists(FileRegistry::TempPath(path)));
  EXPECT_TRUE(fs::exists(FileRegistry::LockPath(path)));

  struct stat before, after;
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  const std::string text = ReadFile(path);
  auto reg = OpenOk();
  EXPECT_EQ(SetSz(*reg, "software\\odbc\\odbc.ini\\sales", "DRIVER", "libx.so"), ERROR_SUCCESS);
  reg.reset();  // closes
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(ReadFile(path), text);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
  EXPECT_FALSE(fs::exists(log));
}

TEST_F(FileRegistryTest, BadFilesAreReportedAndLeftAlone) {
  const std::string bad = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\S]\n\"a\"=dword:xyz\n";
  fs::create_directories(fs::path(path).parent_path());
  WriteFile(path, bad);
  FileRegistry::Opened opened = FileRegistry::Open(path);
  EXPECT_FALSE(opened.registry);
  EXPECT_EQ(opened.error.rfind(path + ":4: dword:", 0), 0u) << opened.error;
  EXPECT_EQ(ReadFile(path), bad);
  EXPECT_FALSE(fs::exists(log));

  WriteFile(path, "REGEDIT4\n");
  WriteFile(log, "[HKEY_LOCAL_MACHINE\\S]\n\"a\"=\"1\"\n\"b\"=oops\n");
  opened = FileRegistry::Open(path);
  EXPECT_EQ(opened.error.rfind(log + ":3: expected \"name\"=value", 0), 0u) << opened.error;
  EXPECT_EQ(ReadFile(path), "REGEDIT4\n");
}

// Runs round(registry, i) for i = 0, 1, ... in a child that reports each
// finished round, and kills it with SIGKILL once `rounds` rounds are
// reported. Returns the last round reported; a round returns non-zero to
// give up (that is the child's exit status).
int KillAfterRounds(const std::string& path, int rounds, const std::function<int(Registry&, int)>& round) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    auto reg = FileRegistry::Open(path).registry;
    if (!reg) _exit(8);
    for (int i = 0;; ++i) {
      if (const int failure = round(*reg, i); failure != 0) _exit(failure);
      if (write(fds[1], &i, sizeof i) != sizeof i) _exit(9);
    }
  }
  close(fds[1]);
  int reported = -1;
  for (int i; reported < rounds && read(fds[0], &i, sizeof i) == sizeof i;) reported = i;
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  close(fds[0]);
  return reported;
}

TEST_F(FileRegistryTest, KilledRunLosesNothingItReported) {
  Seed();
  auto key = [](int i) { return "SOFTWARE\\ODBC\\ODBC.INI\\DSN" + std::to_string(i % 50); };
  const int reported = KillAfterRounds(path, 400, [&](Registry& reg, int i) {
    return SetSz(reg, key(i), std::to_string(i), std::string(i % 300, 'x')) != 0 ? 1 : 0;
  });
  ASSERT_GE(reported, 400);

  for (int round = 0; round < 2; ++round) {  // replayed from the log, then from the folded file
    auto reg = OpenOk();
    for (int i = 0; i <= reported; ++i)
      ASSERT_EQ(GetSz(*reg, key(i), std::to_string(i)), std::string(i % 300, 'x'));
    EXPECT_EQ(GetSz(*reg, "SOFTWARE\\ODBC\\ODBC.INI\\Sales", "Driver"), "libx.so");
  }
  EXPECT_FALSE(fs::exists(log));
}

LONG DeleteValue(Registry& reg, const std::string& keyPath, const std::string& name) {
  UniqueKey key(reg);
  LONG status = reg.RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_SET_VALUE, key.Put());
  return status != ERROR_SUCCESS ? status : reg.RegDeleteValueA(key.Get(), name.c_str());
}

TEST_F(FileRegistryTest, KilledRunKeepsTheDeletesItReported) {
  Seed();
  auto key = [](int i) { return "SOFTWARE\\ODBC\\ODBC.INI\\DSN" + std::to_string(i); };
  // Each round: a key with two values, one value deleted, the previous key deleted.
  const int reported = KillAfterRounds(path, 300, [&](Registry& reg, int i) {
    if (i == 0 && reg.RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ODBC\\ODBC.INI\\Sales") != 0) return 1;
    if (SetSz(reg, key(i), "a", "1") != 0 || SetSz(reg, key(i), "b", std::string(i % 300, 'x')) != 0)
      return 2;
    if (DeleteValue(reg, key(i), "a") != 0) return 3;
    if (i > 0 && reg.RegDeleteKeyA(HKEY_LOCAL_MACHINE, key(i - 1).c_str()) != 0) return 4;
    return 0;
  });
  ASSERT_GE(reported, 300);

  for (int round = 0; round < 2; ++round) {  // replayed from the log, then from the folded file
    auto reg = OpenOk();
    ASSERT_TRUE(reg);
    EXPECT_EQ(GetSz(*reg, "SOFTWARE\\ODBC\\ODBC.INI\\Sales", "Driver"), "<none>");
    for (int i = 0; i < reported; ++i) {
      HKEY gone = 0;
      ASSERT_EQ(reg->RegOpenKeyA(HKEY_LOCAL_MACHINE, key(i).c_str(), &gone), ERROR_FILE_NOT_FOUND) << i;
    }
    EXPECT_EQ(GetSz(*reg, key(reported), "a"), "<none>");  // the key may be gone too, by a later round
  }
  EXPECT_FALSE(fs::exists(log));
}

TEST_F(FileRegistryTest, FileAfterDeletesIsTheFileThatNeverHadThem) {
  const std::string sales = "SOFTWARE\\ODBC\\ODBC.INI\\Sales";
  Seed();
  ASSERT_TRUE(OpenOk());  // a run that changes nothing
  const std::string before = ReadFile(path);
  {
    auto reg = OpenOk();
    ASSERT_EQ(SetSz(*reg, sales, "Extra", "e"), ERROR_SUCCESS);
    ASSERT_EQ(SetSz(*reg, sales, "Server", "db1"), ERROR_SUCCESS);
    ASSERT_EQ(SetSz(*reg, sales + "\\Engines\\Jet", "Threads", "3"), ERROR_SUCCESS);
  }
  {
    auto reg = OpenOk();
    ASSERT_EQ(DeleteValue(*reg, sales, "extra"), ERROR_SUCCESS);
    ASSERT_EQ(reg->RegDeleteKeyA(HKEY_LOCAL_MACHINE, (sales + "\\Engines\\Jet").c_str()), ERROR_SUCCESS);
    ASSERT_EQ(reg->RegDeleteKeyA(HKEY_LOCAL_MACHINE, (sales + "\\Engines").c_str()), ERROR_SUCCESS);
    EXPECT_EQ(ReadFile(log), "[HKEY_LOCAL_MACHINE\\" + sales + "]\n\"Extra\"=-\n[-HKEY_LOCAL_MACHINE\\" +
                                 sales + "\\Engines\\Jet]\n[-HKEY_LOCAL_MACHINE\\" + sales + "\\Engines]\n");
    std::string error;
    ASSERT_TRUE(reg->Close(error)) << error;
  }
  EXPECT_FALSE(fs::exists(log));
  const std::string afterDeletes = ReadFile(path);

  // The same registry built without them, in another file.
  fs::remove(path);
  {
    auto reg = OpenOk();
    ASSERT_EQ(SetSz(*reg, sales, "Driver", "libx.so"), ERROR_SUCCESS);
    ASSERT_EQ(SetSz(*reg, sales, "Server", "db1"), ERROR_SUCCESS);
  }
  EXPECT_EQ(afterDeletes, ReadFile(path));
  EXPECT_NE(afterDeletes, before);

  // Deleting it all again brings back the file as it was before.
  {
    auto reg = OpenOk();
    ASSERT_EQ(DeleteValue(*reg, sales, "Server"), ERROR_SUCCESS);
  }
  EXPECT_EQ(ReadFile(path), before);
}

TEST_F(FileRegistryTest, UnfinishedLogLineIsDroppedAndReplayingTwiceIsHarmless) {
  Seed();
  WriteFile(log, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC]\n\"a\"=\"1\"\n\"b\"=hex:01,0");
  auto reg = OpenOk();
  EXPECT_EQ(GetSz(*reg, "SOFTWARE\\ODBC", "a"), "1");
  EXPECT_EQ(GetSz(*reg, "SOFTWARE\\ODBC", "b"), "<none>");
  ASSERT_EQ(SetSz(*reg, "SOFTWARE\\ODBC", "c", "3"), ERROR_SUCCESS);
  const std::string leftLog = ReadFile(log);  // new records start on a line of their own
  EXPECT_EQ(leftLog,
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC]\n\"a\"=\"1\"\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC]\n\"c\"="
            "\"3\"\n");
  reg.reset();
  const std::string folded = ReadFile(path);

  WriteFile(log, leftLog);  // as if killed after the rename, before removing the log
  reg = OpenOk();
  EXPECT_EQ(GetSz(*reg, "SOFTWARE\\ODBC", "c"), "3");
  reg.reset();
  EXPECT_EQ(ReadFile(path), folded);
}

TEST_F(FileRegistryTest, RunsTakeTurns) {
  auto first = OpenOk();
  int probe = open(FileRegistry::LockPath(path).c_str(), O_RDONLY);
  EXPECT_NE(flock(probe, LOCK_EX | LOCK_NB), 0);
  std::atomic<bool> secondOpened{false};
  std::string seen;
  std::thread second([&] {
    auto reg = FileRegistry::Open(path).registry;
    secondOpened = true;
    seen = GetSz(*reg, "SOFTWARE\\Run", "first");
    SetSz(*reg, "SOFTWARE\\Run", "second", "2");
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // lets it reach the lock
  EXPECT_FALSE(secondOpened);
  ASSERT_EQ(SetSz(*first, "SOFTWARE\\Run", "first", "1"), ERROR_SUCCESS);
  first.reset();
  second.join();
  EXPECT_EQ(seen, "1");  // it read the file only after the first run had saved it
  EXPECT_EQ(flock(probe, LOCK_EX | LOCK_NB), 0);
  close(probe);
  auto reg = OpenOk();
  EXPECT_EQ(GetSz(*reg, "SOFTWARE\\Run", "first") + GetSz(*reg, "SOFTWARE\\Run", "second"), "12");
}

TEST_F(FileRegistryTest, ReadOnlyRegistryRefusesWritesAndTouchesNothing) {
  Seed();
  const std::string text = ReadFile(path);
  const std::string directory = fs::path(path).parent_path().string();
  const bool root = geteuid() == 0;  // root may write anyway: only the forced mode can be tested
  if (!root) fs::permissions(directory, fs::perms::owner_read | fs::perms::owner_exec);
  for (auto access : {FileRegistry::Access::kReadOnly, FileRegistry::Access::kReadWrite}) {
    if (root && access == FileRegistry::Access::kReadWrite) continue;
    auto reg = OpenOk(access);
    EXPECT_FALSE(reg->writable());
    HKEY key = 0;
    EXPECT_EQ(reg->RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS, &key),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(reg->RegCreateKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\New", &key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(SetSz(*reg, "SOFTWARE\\ODBC\\ODBC.INI\\Sales", "Driver", "other"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(reg->RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ODBC\\ODBC.INI\\Sales"), ERROR_ACCESS_DENIED);
    UniqueKey sales(*reg);
    ASSERT_EQ(reg->RegOpenKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\ODBC\\ODBC.INI\\Sales", sales.Put()),
              ERROR_SUCCESS);
    EXPECT_EQ(reg->RegDeleteValueA(sales.Get(), "Driver"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(GetSz(*reg, "SOFTWARE\\ODBC\\ODBC.INI\\Sales", "Driver"), "libx.so");
  }
  fs::permissions(directory, fs::perms::owner_all);
  EXPECT_EQ(ReadFile(path), text);
  EXPECT_FALSE(fs::exists(log));
}

TEST_F(FileRegistryTest, FailedAppendIsNotReportedAsDone) {
  Seed();
  pid_t pid = fork();
  if (pid == 0) {  // ends without Close, as if killed
    auto reg = FileRegistry::Open(path).registry;
    if (SetSz(*reg, "SOFTWARE\\ODBC", "small", "1") != ERROR_SUCCESS) _exit(1);
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{4096, RLIM_INFINITY};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(2);
    if (SetSz(*reg, "SOFTWARE\\ODBC", "big", std::string(10000, 'b')) != ERROR_WRITE_FAULT) _exit(3);
    if (GetSz(*reg, "SOFTWARE\\ODBC", "big") != "<none>") _exit(4);
    _exit(SetSz(*reg, "SOFTWARE\\ODBC", "after", "2") == ERROR_SUCCESS ? 0 : 5);
  }
  int status = -1;
  waitpid(pid, &status, 0);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(ReadFile(log), "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC]\n\"small\"=\"1\"\n\"after\"=\"2\"\n");
  auto reg = OpenOk();
  EXPECT_EQ(GetSz(*reg, "SOFTWARE\\ODBC", "small") + GetSz(*reg, "SOFTWARE\\ODBC", "after"), "12");
}

TEST_F(FileRegistryTest, FailedSaveKeepsEveryChangeForTheNextStart) {
  Seed();
  const std::string seeded = ReadFile(path);
  auto reg = OpenOk();
  ASSERT_EQ(SetSz(*reg, "SOFTWARE\\ODBC\\ODBC.INI\\Sales", "Server", "db1"), ERROR_SUCCESS);
  ASSERT_EQ(SetSz(*reg, "SOFTWARE\\ODBC\\ODBCINST.INI\\X", "Driver", "libx2.so"), ERROR_SUCCESS);
  fs::remove(path);
  fs::create_directory(path);  // nothing can be saved over a directory
  std::string error;
  EXPECT_FALSE(reg->Close(error));
  EXPECT_NE(error.find(path), std::string::npos) << error;
  fs::remove(path);
  WriteFile(path, seeded);

  reg = OpenOk();
  EXPECT_EQ(GetSz(*reg, "SOFTWARE\\ODBC\\ODBC.INI\\Sales", "Driver"), "libx.so");
  EXPECT_EQ(GetSz(*reg, "SOFTWARE\\ODBC\\ODBC.INI\\Sales", "Server"), "db1");
  EXPECT_EQ(GetSz(*reg, "SOFTWARE\\ODBC\\ODBCINST.INI\\X", "Driver"), "libx2.so");
}

TEST_F(FileRegistryTest, ChangeAfterAFailedAppendStaysUnderItsOwnKey) {
  Seed();
  pid_t pid = fork();
  if (pid == 0) {  // ends without Close, as if killed: the next open replays what it logged
    auto reg = FileRegistry::Open(path).registry;
    if (!reg || SetSz(*reg, "SOFTWARE\\ODBC", "a", "1") != ERROR_SUCCESS) _exit(1);
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{4096, RLIM_INFINITY};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(2);
    const std::string sales = "SOFTWARE\\ODBC\\ODBC.INI\\Sales";  // exists: no record of its own
    if (SetSz(*reg, sales, "big", std::string(10000, 'b')) == ERROR_SUCCESS) _exit(3);
    _exit(SetSz(*reg, sales, "b", "2") == ERROR_SUCCESS ? 0 : 4);
  }
  int status = -1;
  waitpid(pid, &status, 0);
  ASSERT_EQ(status, 0);
  auto reg = OpenOk();
  EXPECT_EQ(GetSz(*reg, "SOFTWARE\\ODBC", "a"), "1");
  EXPECT_EQ(GetSz(*reg, "SOFTWARE\\ODBC\\ODBC.INI\\Sales", "b"), "2");
  EXPECT_EQ(GetSz(*reg, "SOFTWARE\\ODBC", "b"), "<none>");
  EXPECT_EQ(GetSz(*reg, "SOFTWARE\\ODBC\\ODBC.INI\\Sales", "big"), "<none>");
}

TEST_F(FileRegistryTest, RewriteKeepsTheFileModeWhateverTheUmask) {
  Seed();
  const std::pair<mode_t, mode_t> cases[] = {{0600, 022}, {0664, 077}, {0640, 0}};  // mode, umask
  for (const auto& [mode, mask] : cases) {
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
    const mode_t before = umask(mask);
    auto reg = OpenOk();
    ASSERT_EQ(SetSz(*reg, "SOFTWARE\\ODBC", "Password", std::to_string(mode)), ERROR_SUCCESS);
    std::string error;
    EXPECT_TRUE(reg->Close(error)) << error;
    umask(before);
    ASSERT_NE(ReadFile(path).find(std::to_string(mode)), std::string::npos);  // it was rewritten
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode) << "umask " << mask;
  }
}

// Whatever is planted in the state folder, the run refuses it naming the
// path, follows no link, waits on no FIFO and changes nothing.
TEST_F(FileRegistryTest, LinksAndFifosInTheStateFolderAreRefused) {
  Seed();
  const std::string seeded = ReadFile(path), outside = base + "/outside", missing = base + "/missing";
  for (const char* suffix : {"", ".log", ".lock"}) {
    for (const char* kind : {"link", "dangling link", "fifo"}) {
      SCOPED_TRACE(std::string(suffix) + " " + kind);
      const std::string planted = path + suffix;
      const std::string content = *suffix == '\0' ? "REGEDIT4\n\n" : "; would load if followed\n";
      WriteFile(outside, content);
      fs::remove(planted);
      if (std::string(kind) == "fifo") {
        ASSERT_EQ(mkfifo(planted.c_str(), 0644), 0);
      } else {
        fs::create_symlink(std::string(kind) == "link" ? outside : missing, planted);
      }
      FileRegistry::Opened opened = FileRegistry::Open(path);
      EXPECT_EQ(opened.registry, nullptr);
      EXPECT_NE(opened.error.find(planted), std::string::npos) << opened.error;
      EXPECT_EQ(ReadFile(outside), content);
      EXPECT_FALSE(fs::exists(missing));
      fs::remove(planted);
      if (*suffix == '\0') WriteFile(path, seeded);
    }
  }
  // A link raced onto the temporary file while a run saves is not written through.
  auto reg = OpenOk();
  ASSERT_EQ(SetSz(*reg, "SOFTWARE", "New", "1"), ERROR_SUCCESS);
  fs::create_symlink(outside, FileRegistry::TempPath(path));
  std::string error;
  EXPECT_TRUE(reg->Close(error)) << error;
  EXPECT_EQ(ReadFile(outside), "; would load if followed\n");
  EXPECT_FALSE(fs::is_symlink(path));
  // Nor is a folder that others may write to used at all.
  fs::permissions(fs::path(path).parent_path(), fs::perms::others_write, fs::perm_options::add);
  EXPECT_NE(FileRegistry::Open(path).error.find(fs::path(path).parent_path().string()), std::string::npos);
}

TEST_F(FileRegistryTest, LeftoverTemporaryFileIsRemovedByARunThatSavesNothing) {
  Seed();
  const std::string text = ReadFile(path);
  WriteFile(FileRegistry::TempPath(path), "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWA");  // a killed save
  auto reg = OpenOk();
  EXPECT_EQ(GetSz(*reg, "SOFTWARE\\ODBC\\ODBC.INI\\Sales", "Driver"), "libx.so");
  std::string error;
  ASSERT_TRUE(reg->Close(error)) << error;
  EXPECT_FALSE(fs::exists(FileRegistry::TempPath(path)));
  EXPECT_EQ(ReadFile(path), text);
}

}  // namespace
}  // namespace platform::portable
