#include "platform/Host.h"

#include "platform/win32/Backend.h"

namespace platform {

namespace {

class Win32Host final : public Host {
 public:
  Win32Host()
      : registry_(win32::MakeRegistry()),
        system_(win32::MakeSystemInfo()),
        windowing_(win32::MakeWindowing()) {}

  Registry& registry() override { return *registry_; }
  SystemInfo& system() override { return *system_; }
  Windowing& windowing() override { return *windowing_; }

  // Windows keeps every registry write itself: nothing is left to do.
  bool Close(std::string& error) override {
    error.clear();
    return true;
  }

 private:
  std::unique_ptr<Registry> registry_;
  std::unique_ptr<SystemInfo> system_;
  std::unique_ptr<Windowing> windowing_;
};

}  // namespace

OpenedHost OpenHost() {
  return OpenedHost{std::make_unique<Win32Host>(), {}};
}

}  // namespace platform
