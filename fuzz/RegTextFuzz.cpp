// libFuzzer target for the registry file reader and the change-log replay.
// Whatever the input, reading it as a file or replaying it as a log must
// either fail with "path:line: what" or leave a tree that writes out and
// reads back to exactly the same text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/portable/MemoryRegistry.h"

using namespace platform::portable;

namespace {

void Require(bool condition, const char* what, const std::string& detail) {
  if (condition) return;
  std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
  std::abort();
}

bool IsLocatedError(const std::string& error, const std::string& path) {
  if (error.rfind(path + ":", 0) != 0) return false;
  std::size_t i = path.size() + 1;
  const std::size_t digits = i;
  while (i < error.size() && error[i] >= '0' && error[i] <= '9') ++i;
  return i > digits && error.compare(i, 2, ": ") == 0 && error.size() > i + 2;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  RegKey store;
  const std::string error = ReadRegFile(text, "fuzz.reg", store);
  if (!error.empty()) {
    Require(IsLocatedError(error, "fuzz.reg"), "error without path:line", error);
  } else {
    const std::string written = WriteRegFile(store);
    RegKey again;
    const std::string reread = ReadRegFile(written, "written.reg", again);
    Require(reread.empty(), "written file does not load", reread);
    Require(WriteRegFile(again) == written, "written file does not round-trip", written.substr(0, 200));
  }

  RegKey replayed;
  std::size_t complete = 0;
  const std::string logError = ReplayRegLog(text, "fuzz.log", replayed, &complete);
  Require(complete <= size, "replayed more than the log holds", std::to_string(complete));
  if (!logError.empty()) {
    Require(IsLocatedError(logError, "fuzz.log"), "log error without path:line", logError);
  } else {
    // Whatever the log created and deleted, the tree left must save and load as it is.
    const std::string written = WriteRegFile(replayed);
    RegKey again;
    const std::string reread = ReadRegFile(written, "written.reg", again);
    Require(reread.empty(), "tree after a replay does not load", reread);
    Require(WriteRegFile(again) == written, "tree after a replay does not round-trip",
            written.substr(0, 200));
  }
  return 0;
}
