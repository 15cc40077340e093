// The platform the program runs on, opened once at start.
#pragma once

#include <memory>
#include <string>

#include "platform/Registry.h"
#include "platform/SystemInfo.h"
#include "platform/Windowing.h"

namespace platform {

class Host {
 public:
  virtual ~Host() = default;
  virtual Registry& registry() = 0;
  virtual SystemInfo& system() = 0;
  virtual Windowing& windowing() = 0;
  // Makes what the run wrote permanent. False, with a reason, when that
  // failed; nothing that a call reported as done is lost either way.
  virtual bool Close(std::string& error) = 0;
};

struct OpenedHost {
  std::unique_ptr<Host> host;  // null when the machine registry could not be opened
  std::string error;           // why, naming the thing and what to do
};

// Opens the platform this program was built for.
OpenedHost OpenHost();

}  // namespace platform
