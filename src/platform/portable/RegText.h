// The registry as REGEDIT4 text: the machine registry file (as README.md
// shows it) and its change log. Reading also takes hex(1):/hex(3): forms,
// sections whose parent keys have none, and bytes 0x80..0xFF in quotes (such
// a REG_SZ is written back as hex(1):).
//
// The change log holds the same lines, hex data kept on one line; sections and
// values may repeat there, the last one wins. Deletions, as regedit writes
// them, are taken only there: [-HKEY_LOCAL_MACHINE\Key] (with whatever is
// below it), "Name"=- and @=-; a key or value already gone is no error.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/portable/MemoryRegistry.h"

namespace platform::portable {

inline constexpr std::string_view kRootName = "HKEY_LOCAL_MACHINE";

// Reads a whole registry file into the tree below root. Returns "" when it
// loaded, or "path:line: what is wrong", path being displayPath.
std::string ReadRegFile(std::string_view text, const std::string& displayPath, RegKey& root);

// Replays a change log onto the tree. A last line without its line end is
// an unfinished write and is skipped; *completeBytes receives the length of
// the lines that were replayed. Returns "" or "path:line: what is wrong".
std::string ReplayRegLog(std::string_view text, const std::string& displayPath, RegKey& root,
                         std::size_t* completeBytes);

// The whole file text for the kept (non-volatile) keys below root.
std::string WriteRegFile(const RegKey& root);

// The same lines appended to out: "[HKEY_LOCAL_MACHINE\path]\n", or with
// deleted "[-HKEY_LOCAL_MACHINE\path]\n"; a value line; "\"name\"=-\n".
void AppendKeyLine(std::string& out, std::string_view keyPath, bool deleted);
void AppendValueLine(std::string& out, const RegValue& value, bool wrapHex);
void AppendValueDeleteLine(std::string& out, std::string_view valueName);

}  // namespace platform::portable
