// The registry as REGEDIT4 text: the machine registry file and its change log.
//
// File layout, as written:
//   REGEDIT4
//   <blank>
//   [HKEY_LOCAL_MACHINE\Key]          one section per kept key, depth first,
//   "Name"="text"                     children in case-insensitive order,
//   "Count"=dword:0000000a            values in the order they were set,
//   "Blob"=hex:01,02                  a blank line after each section
//   "Multi"=hex(7):61,00,00
//   @="default value"
//   <blank>
//
// "text" is used for REG_SZ data made only of printable ASCII (no terminating
// NUL), dword: for 4-byte REG_DWORD data, hex: for REG_BINARY, hex(type): for
// everything else. Long hex data wraps after ",\" with two-space indented
// continuation lines. Reading also takes CRLF line ends, ";" comment lines,
// blank lines, hex(1):/hex(3): forms and sections whose parent keys have no
// section of their own. A byte order mark is refused. Quoted strings may hold
// bytes 0x80..0xFF as they are; such a REG_SZ is written back as hex(1):.
//
// The change log holds the same lines, appended as changes happen: a key line
// when the key differs from the previous record, then value lines, hex data
// kept on one line. Sections and values may repeat there; the last one wins.
// Deletions are logged as regedit writes them, and are taken only there:
//   [-HKEY_LOCAL_MACHINE\Key]          the key goes, with whatever is below it
//   "Name"=-                           the value goes from the current key
//   @=-                                (a key or value already gone is no error)
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/portable/RegStore.h"

namespace platform::portable {

inline constexpr std::string_view kRootName = "HKEY_LOCAL_MACHINE";

// Reads a whole registry file into the store. Returns "" when it loaded, or
// "path:line: what is wrong", path being displayPath.
std::string ReadRegFile(std::string_view text, const std::string& displayPath, RegStore& store);

// Replays a change log onto the store. A last line without its line end is
// an unfinished write and is skipped; *completeBytes receives the length of
// the lines that were replayed. Returns "" or "path:line: what is wrong".
std::string ReplayRegLog(std::string_view text, const std::string& displayPath, RegStore& store,
                         std::size_t* completeBytes);

// The whole file text for the kept (non-volatile) keys of the store.
std::string WriteRegFile(const RegStore& store);

// The same lines appended to out: "[HKEY_LOCAL_MACHINE\path]\n", or with
// deleted "[-HKEY_LOCAL_MACHINE\path]\n"; a value line; "\"name\"=-\n".
void AppendKeyLine(std::string& out, std::string_view keyPath, bool deleted);
void AppendValueLine(std::string& out, const RegValue& value, bool wrapHex);
void AppendValueDeleteLine(std::string& out, std::string_view valueName);

}  // namespace platform::portable
