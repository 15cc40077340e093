#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <utility>
#include <vector>

#include "platform/portable/MemoryRegistry.h"

namespace platform::portable {

namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::size_t kWrapColumn = 76;  // wrap once a hex line reaches this; lines stay below 80
// An error quotes no more of the file than this: a bad line may be megabytes long.
constexpr std::size_t kQuotedBytes = 80;

const std::string_view kHexDigits = "0123456789abcdefABCDEF";  // lower case first: written so

void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
}

// Lower-case hex digits of number, at least `digits` of them.
std::string HexText(std::uint32_t number, int digits) {
  char text[12];
  std::snprintf(text, sizeof text, "%0*x", digits, static_cast<unsigned>(number));
  return text;
}

void AppendHex(std::string& out, const RegValue& value) {
  out += value.type == REG_BINARY ? "hex:" : "hex(" + HexText(value.type, 1) + "):";
  const std::size_t lineStart = out.rfind('\n');
  std::size_t column = out.size() - (lineStart == std::string::npos ? 0 : lineStart + 1);
  for (std::size_t i = 0; i < value.data.size(); ++i, column += 3) {
    if (i != 0) out += ',';
    if (i != 0 && column >= kWrapColumn) {
      out += "\\\n  ";
      column = 2;
    }
    out.append(1, kHexDigits[value.data[i] >> 4]).append(1, kHexDigits[value.data[i] & 0xF]);
  }
}

void AppendValueName(std::string& out, std::string_view name) {
  if (name.empty()) {
    out += '@';
  } else {
    AppendQuoted(out, name);
  }
  out += '=';
}

struct ParseError {
  std::size_t line;
  std::string what;
};

int HexDigit(char c) {
  const std::size_t digit = kHexDigits.find(c);
  return digit == std::string_view::npos ? -1 : static_cast<int>(digit < 16 ? digit : digit - 6);
}

std::string Printable(std::string_view text) {
  std::string shown;
  for (char c : text.substr(0, kQuotedBytes)) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F)
      shown.append("\\x").append(1, kHexDigits[u >> 4]).append(1, kHexDigits[u & 0xF]);
    if (u >= 0x20 && u != 0x7F) shown += c;
  }
  if (text.size() > kQuotedBytes) shown += "...";
  return shown;
}

class Parser {
 public:
  Parser(std::string_view text, RegKey& root) : text_(text), root_(root) {}

  void Run() {
    lineNo_ = 1;
    if (text_.starts_with("\xEF\xBB\xBF"))
      Fail("byte order mark: save the file as plain ANSI text without BOM");
    if (text_.starts_with("\xFF\xFE") || text_.starts_with("\xFE\xFF"))
      Fail("UTF-16 text: save the file as plain ANSI text in REGEDIT4 form");
    lineNo_ = 0;
    const bool header = NextLine() && line_ == kHeader;
    lineNo_ = 1;
    if (!header) Fail("file does not start with REGEDIT4");
    while (NextLine()) Line();
  }

 private:
  [[noreturn]] void Fail(std::string what) const { throw ParseError{lineNo_, std::move(what)}; }

  bool NextLine() {
    if (pos_ >= text_.size()) return false;
    const std::size_t end = std::min(text_.find('\n', pos_), text_.size());
    line_ = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    ++lineNo_;
    if (line_.ends_with('\r')) line_.remove_suffix(1);
    if (line_.find('\0') != std::string_view::npos) Fail("NUL byte in the file; it must be plain text");
    return true;
  }

  void Line() {
    if (line_.find_first_not_of(" \t") == std::string_view::npos || line_.front() == ';') return;
    if (line_.front() == '[') {
      Section();
    } else if (line_.front() == '"' || line_.front() == '@') {
      Value();
    } else {
      Fail("expected [key], \"name\"=value, @=value, a ; comment or a blank line, not \"" + Printable(line_) +
           "\"");
    }
  }

  void Section() {
    std::string_view body = line_.substr(1);
    if (body.starts_with('-')) Fail("deleting keys or values is not supported here");
    if (!body.ends_with(']')) Fail("expected ] at the end of the key line");
    body.remove_suffix(1);
    const std::string_view root = body.substr(0, kRootName.size());
    if (!SameName(root, kRootName) || (body.size() > root.size() && body[root.size()] != '\\'))
      Fail("key outside HKEY_LOCAL_MACHINE: only HKEY_LOCAL_MACHINE keys are kept here");
    if (body.size() <= kRootName.size() + 1)
      Fail("HKEY_LOCAL_MACHINE itself holds no values; name a key below it");
    const std::string_view path = body.substr(kRootName.size() + 1);
    if (static_cast<std::size_t>(std::count(path.begin(), path.end(), '\\')) >= kMaxKeyDepth)
      Fail("key more than 512 levels deep; Windows allows no deeper");
    const char* const faults[] = {"", "empty key name", "control byte in a key name",
                                  "key name longer than 255 bytes"};
    if (const auto fault = static_cast<int>(SplitKeyPath(path, parts_)); fault != 0)
      Fail(faults[fault] + (" in \"" + Printable(path) + "\""));
    if (SameName(parts_.front(), kVolatileTopKey)) {
      Fail(
          "HKEY_LOCAL_MACHINE\\HARDWARE is rebuilt at every start and is not kept in this file; "
          "remove this section");
    }
    key_ = FindKey(root_, parts_, true);
    if (const auto [first, fresh] = sections_.try_emplace(key_, lineNo_); !fresh)
      Fail("duplicate key section, first at line " + std::to_string(first->second));
    valueLines_.clear();
  }

  // Reads a quoted string from just after its opening quote into out (a
  // std::string or the bytes of a value); returns what follows the closing quote.
  template <typename Out>
  std::string_view Quoted(std::string_view text, Out& out, const char* what) const {
    for (std::size_t i = 0;; ++i) {
      if (i >= text.size()) Fail(std::string("missing closing quote in ") + what);
      const char c = text[i];
      const auto u = static_cast<unsigned char>(c);
      if (c == '"') return text.substr(i + 1);
      if (c == '\\') {
        const char next = i + 1 < text.size() ? text[i + 1] : ' ';
        if (next != '\\' && next != '"')
          Fail(std::string("bad escape \\") + Printable({&next, 1}) + " in " + what);
        out.push_back(static_cast<typename Out::value_type>(next));
        ++i;
      } else if (u < 0x20 || u == 0x7F) {
        Fail(std::string("control byte 0x") + kHexDigits[u >> 4] + kHexDigits[u & 0xF] + " in " + what);
      } else {
        out.push_back(static_cast<typename Out::value_type>(c));
      }
    }
  }

  void Value() {
    if (key_ == nullptr) Fail("value outside any key section");
    const std::size_t line = lineNo_;  // a hex value may go on over more lines
    RegValue value;
    std::string_view rest = line_.substr(1);
    if (line_.front() == '"') {
      rest = Quoted(rest, value.name, "a quoted name");
      if (value.name.size() > kMaxValueNameLength)
        Fail("value name longer than 16383 bytes: \"" + Printable(value.name) + "\"");
    }
    if (!rest.starts_with('=')) Fail("expected \"name\"=value: no = after the name");
    rest.remove_prefix(1);
    if (rest.starts_with('-')) Fail("deleting keys or values is not supported here");
    if (rest.starts_with('"')) {
      rest = Quoted(rest.substr(1), value.data, "a quoted string");
      if (!rest.empty()) Fail("unexpected text after the closing quote: \"" + Printable(rest) + "\"");
      value.type = REG_SZ;
    } else if (rest.starts_with("dword:")) {
      value.type = REG_DWORD;
      const std::uint32_t number = HexNumber(rest.substr(6), "dword: needs 1 to 8 hex digits");
      for (int shift = 0; shift < 32; shift += 8) value.data.push_back(static_cast<BYTE>(number >> shift));
    } else if (rest.starts_with("hex:")) {
      value.type = REG_BINARY;
      HexBytes(rest.substr(4), value.data);
    } else if (rest.starts_with("hex(")) {
      const std::size_t close = rest.find("):");
      const char* bad = "expected hex(type): with the type in 1 to 8 hex digits";
      if (close == std::string_view::npos) Fail(bad);
      value.type = HexNumber(rest.substr(4, close - 4), bad);
      HexBytes(rest.substr(close + 2), value.data);
    } else {
      Fail("expected \"name\"=value with \"text\", dword:, hex: or hex(type): after =");
    }
    // A key's values come from its one section: one the key has already is a duplicate.
    if (const auto [first, fresh] = valueLines_.try_emplace(value.name, line); !fresh) {
      lineNo_ = line;
      if (value.name.empty()) Fail("duplicate value @, first at line " + std::to_string(first->second));
      Fail("duplicate value \"" + Printable(value.name) + "\", first at line " +
           std::to_string(first->second));
    }
    key_->SetValue(std::move(value));
  }

  std::uint32_t HexNumber(std::string_view digits, const char* what) const {
    if (digits.empty() || digits.size() > 8) Fail(what);
    std::uint32_t number = 0;
    for (char c : digits) {
      if (HexDigit(c) < 0) Fail(std::string(what) + ", not \"" + Printable(digits) + "\"");
      number = number << 4 | static_cast<std::uint32_t>(HexDigit(c));
    }
    return number;
  }

  // Bytes as "xx,xx,...", continued on the next line after ",\".
  void HexBytes(std::string_view text, std::vector<BYTE>& data) {
    while (!text.empty()) {
      if (text.size() < 2 || HexDigit(text[0]) < 0 || HexDigit(text[1]) < 0)
        Fail("hex byte expected at \"" + Printable(text.substr(0, 8)) + "\"");
      data.push_back(static_cast<BYTE>(HexDigit(text[0]) << 4 | HexDigit(text[1])));
      text.remove_prefix(2);
      if (text.empty()) return;
      if (text[0] != ',') Fail("expected , between hex bytes, not \"" + Printable(text.substr(0, 8)) + "\"");
      text.remove_prefix(1);
      if (text.empty()) Fail("hex byte expected after the last ,");
      if (text == "\\") {
        if (!NextLine()) Fail("hex data continues past the end of the file");
        text = line_.substr(std::min(line_.find_first_not_of(" \t"), line_.size()));
        if (text.empty()) Fail("hex byte expected on the continuation line");
      }
    }
  }

  std::string_view text_;
  RegKey& root_;
  std::map<const RegKey*, std::size_t> sections_;            // the line of each key's section
  std::map<std::string, std::size_t, NameLess> valueLines_;  // of the values of the current section
  std::size_t pos_ = 0;
  std::size_t lineNo_ = 0;
  std::string_view line_;
  RegKey* key_ = nullptr;
  std::vector<std::string_view> parts_;
};

}  // namespace

std::string ReadRegFile(std::string_view text, const std::string& displayPath, RegKey& root) {
  try {
    Parser(text, root).Run();
  } catch (const ParseError& error) {
    return displayPath + ":" + std::to_string(error.line) + ": " + error.what;
  }
  return std::string();
}

namespace {

void AppendValueLine(std::string& out, const RegValue& value) {
  AppendValueName(out, value.name);
  const std::vector<BYTE>& data = value.data;
  const bool plain = std::all_of(data.begin(), data.end(), [](BYTE b) { return b >= 0x20 && b <= 0x7E; });
  if (value.type == REG_SZ && plain) {
    AppendQuoted(out, std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
  } else if (value.type == REG_DWORD && data.size() == 4) {
    out += "dword:" + HexText(data[0] | (data[1] << 8) | (data[2] << 16) | (std::uint32_t{data[3]} << 24), 8);
  } else {
    AppendHex(out, value);
  }
  out += '\n';
}

// Each kept key below key, sorted, depth first; path is key's own.
void AppendKeys(std::string& out, const RegKey& key, std::string& path) {
  for (const auto& [name, child] : key.children) {
    if (child->isVolatile) continue;
    const std::size_t size = path.size();
    path.append(path.empty() ? "" : "\\").append(name);
    out.append("[").append(kRootName).append("\\").append(path).append("]\n");
    for (const RegValue& value : child->values) AppendValueLine(out, value);
    out += '\n';
    AppendKeys(out, *child, path);
    path.resize(size);
  }
}

}  // namespace

std::string WriteRegFile(const RegKey& root) {
  std::string out(kHeader);
  out += "\n\n";
  std::string path;
  AppendKeys(out, root, path);
  return out;
}

}  // namespace platform::portable
