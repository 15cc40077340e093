// The portable platform: the machine registry in
// $HOME/.local/state/MarvaneSetup/HKLM.reg and windows on the terminal.
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <memory>
#include <vector>

#include "platform/Host.h"
#include "platform/Process.h"
#include "platform/portable/FileRegistry.h"
#include "platform/portable/PortableSystemInfo.h"
#include "platform/portable/PrefixFileSystem.h"
#include "platform/portable/TerminalWindowing.h"

namespace platform {

namespace {

class PortableHost : public Host {
 public:
  PortableHost(std::unique_ptr<portable::FileRegistry> registry, FileSystem& files)
      : registry_(std::move(registry)),
        files_(files),
        windowing_(std::cout, std::cin, isatty(STDIN_FILENO) == 1) {}

  Registry& registry() override { return *registry_; }
  SystemInfo& system() override { return system_; }
  Windowing& windowing() override { return windowing_; }
  FileSystem& files() override { return files_; }
  // A terminal program: whoever started it sees it.
  bool Interactive() override { return true; }
  // The program is linked statically, so the user database (NSS) is not
  // asked: the login name the environment gives, and the user id.
  std::string UserName() override {
    const char* name = std::getenv("USER");
    if (name == nullptr || *name == '\0') name = std::getenv("LOGNAME");
    const std::string id = "uid " + std::to_string(geteuid());
    return name != nullptr && *name != '\0' ? std::string(name) + " (" + id + ")" : id;
  }
  // The kernel's name and release, e.g. "Linux 6.1.0-18-amd64".
  std::string SystemVersion() override {
    utsname name{};
    return uname(&name) == 0 ? std::string(name.sysname) + " " + name.release : "(unknown system)";
  }
  bool RegistryWritable() override { return !registry_->IsReadOnly(); }
  bool Close(std::string& error) override { return registry_->Close(error); }

 private:
  std::unique_ptr<portable::FileRegistry> registry_;
  FileSystem& files_;
  portable::PortableSystemInfo system_;
  portable::TerminalWindowing windowing_;
};

}  // namespace

// The windows of the terminal build are lines on standard output already.
bool AttachStandardOutput() {
  return false;
}

// Anyone who may write the registry file may change this machine: there is
// no elevation here, and a read-only file refuses each write as Windows
// refuses a user without administrator rights.
OpenedHost OpenHost(bool readOnly, std::chrono::milliseconds runWait) {
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0')
    return {nullptr,
            "MarvaneSetup: HOME is not set, so the machine registry file cannot be found; "
            "set HOME to the home directory of the user that runs setup and run it again."};

  portable::FileRegistry::Opened opened = portable::FileRegistry::Open(
      std::string(home) + "/.local/state/MarvaneSetup/HKLM.reg", readOnly, runWait);
  if (!opened.registry)
    return {nullptr, opened.error, opened.busy ? kAlreadyRunningStatus : kCannotOpenStatus};

  // Windows keeps the processor identifier with its terminating NUL.
  const std::string identifier = portable::ProcessorIdentifier();
  std::vector<BYTE> data(identifier.begin(), identifier.end());
  data.push_back(0);
  opened.registry->AddVolatileValue("HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "Identifier",
                                    REG_SZ, std::move(data));
  // Windows paths resolve below the registry file's folder. Never
  // destroyed: a worker thread that was not waited for to its end may still
  // be in one of its calls while the program ends.
  static auto* const kept = new std::vector<std::unique_ptr<FileSystem>>;
  kept->push_back(std::make_unique<portable::PrefixFileSystem>(opened.registry->directory(),
                                                               identifier.rfind("x86", 0) == 0));
  return {std::make_unique<PortableHost>(std::move(opened.registry), *kept->back()), ""};
}

namespace {

// No elevation here: whoever may write the registry file may change the machine.
class PortableProcess final : public Process {
 public:
  bool AttachStandardOutput() override { return platform::AttachStandardOutput(); }
  bool ProcessIsElevated() override { return true; }
  OpenedLogFile OpenLogFile(const std::string& path, std::chrono::milliseconds wait) override {
    return platform::OpenLogFile(path, wait);
  }
  LogStamps& ProcessLogStamps() override { return platform::ProcessLogStamps(); }
  OpenedHost OpenHost(bool readOnly, std::chrono::milliseconds runWait) override {
    return platform::OpenHost(readOnly, runWait);
  }
};

PortableProcess thisProcess;

}  // namespace

Process& ThisProcess() {
  return thisProcess;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

}  // namespace platform
