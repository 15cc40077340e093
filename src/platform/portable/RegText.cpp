#include "platform/portable/RegText.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <type_traits>
#include <utility>
#include <vector>

namespace platform::portable {

namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::size_t kWrapColumn = 76;  // wrap once a hex line reaches this; lines stay below 80

// --- writing ---------------------------------------------------------------

const char kHexDigits[] = "0123456789abcdef";

void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' && text[i] != '"') continue;
    out.append(text, start, i - start).append(1, '\\');
    start = i;
  }
  out.append(text, start).append(1, '"');
}

// Lower-case hex digits of number: all eight, or without leading zeros.
void AppendHexNumber(std::string& out, std::uint32_t number, bool allDigits) {
  char digits[8];
  for (int i = 7; i >= 0; --i, number >>= 4) digits[i] = kHexDigits[number & 0xF];
  std::size_t first = 0;
  if (!allDigits) {
    while (first < 7 && digits[first] == '0') ++first;
  }
  out.append(digits + first, sizeof digits - first);
}

bool IsPlainText(const std::vector<BYTE>& data) {
  return std::all_of(data.begin(), data.end(), [](BYTE b) { return b >= 0x20 && b <= 0x7E; });
}

void AppendHex(std::string& out, const RegValue& value, bool wrapHex) {
  if (value.type == REG_BINARY) {
    out += "hex:";
  } else {
    out += "hex(";
    AppendHexNumber(out, value.type, false);
    out += "):";
  }
  std::size_t lineStart = out.rfind('\n');
  std::size_t column = out.size() - (lineStart == std::string::npos ? 0 : lineStart + 1);
  const std::size_t count = value.data.size();
  out.reserve(out.size() + count * 3 + count / 8 + 2);
  for (std::size_t i = 0; i < count; ++i) {
    out += kHexDigits[value.data[i] >> 4];
    out += kHexDigits[value.data[i] & 0xF];
    if (i + 1 == count) break;
    out += ',';
    column += 3;
    if (wrapHex && column >= kWrapColumn) {
      out += "\\\n  ";
      column = 2;
    }
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

void AppendValue(std::string& out, const RegValue& value, bool wrapHex) {
  AppendValueName(out, value.name);
  const std::vector<BYTE>& data = value.data;
  if (value.type == REG_SZ && IsPlainText(data)) {
    AppendQuoted(out, std::string_view(reinterpret_cast<const char*>(data.data()), data.size()));
  } else if (value.type == REG_DWORD && data.size() == 4) {
    const std::uint32_t number = data[0] | (data[1] << 8) | (data[2] << 16) | (std::uint32_t{data[3]} << 24);
    out += "dword:";
    AppendHexNumber(out, number, true);
  } else {
    AppendHex(out, value, wrapHex);
  }
  out += '\n';
}

void PutKeyLine(std::string& out, std::string_view keyPath, bool deleted) {
  out += deleted ? "[-" : "[";
  out += kRootName;
  out += '\\';
  out += keyPath;
  out += "]\n";
}

void AppendTree(std::string& out, const RegKey& key) {
  for (const auto& [name, child] : key.children()) {
    if (child->isVolatile()) continue;
    PutKeyLine(out, child->path(), false);
    for (const RegValue& value : child->values()) AppendValue(out, value, true);
    out += '\n';
    AppendTree(out, *child);
  }
}

// --- reading ---------------------------------------------------------------

struct ParseError {
  std::size_t line;
  std::string what;
};

// The bytes that end a run of plain characters in a quoted string: the
// closing quote, an escape, a control byte.
constexpr std::array<bool, 256> EndsPlainRunTable() {
  std::array<bool, 256> table{};
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = i == '"' || i == '\\' || i < 0x20 || i == 0x7F;
  return table;
}
constexpr std::array<bool, 256> kEndsPlainRun = EndsPlainRunTable();

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Printable(std::string_view text) {
  std::string shown;
  for (char c : text) {
    auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", u);
      shown += hex;
    } else {
      shown += c;
    }
  }
  return shown;
}

// The line of each key's section, by key: open addressing over one flat
// table (a file has a section for nearly every key, so no node per key).
class SectionLines {
 public:
  // Records line for key and returns 0, or returns the line recorded before.
  std::size_t Record(const RegKey* key, std::size_t line) {
    if ((used_ + 1) * 2 > slots_.size()) Grow();
    Slot& slot = SlotFor(key);
    if (slot.key == key) return slot.line;
    slot = Slot{key, line};
    ++used_;
    return 0;
  }

 private:
  struct Slot {
    const RegKey* key = nullptr;
    std::size_t line = 0;
  };
  Slot& SlotFor(const RegKey* key) {
    const std::size_t mask = slots_.size() - 1;
    // Fibonacci hashing of the address, whose low bits are alignment.
    std::size_t i =
        static_cast<std::size_t>((reinterpret_cast<std::uintptr_t>(key) >> 4) * 0x9E3779B97F4A7C15ull >> 20) &
        mask;
    while (slots_[i].key != nullptr && slots_[i].key != key) i = (i + 1) & mask;
    return slots_[i];
  }
  void Grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{});
    for (const Slot& slot : old) {
      if (slot.key != nullptr) SlotFor(slot.key) = slot;
    }
  }

  std::vector<Slot> slots_;  // a power of two of them, at most half used
  std::size_t used_ = 0;
};

class Parser {
 public:
  Parser(std::string_view text, bool isLog, RegStore& store) : text_(text), isLog_(isLog), store_(store) {}

  void Run() {
    if (!isLog_) ReadHeader();
    while (NextLine()) {
      const LineKind* kind = Classify(line_);
      (this->*(kind->handle))();
    }
  }

 private:
  struct LineKind {
    char first;  // '\0' matches any line not matched before
    void (Parser::*handle)();
  };
  struct ValueForm {
    std::string_view prefix;
    void (Parser::*parse)(std::string_view rest, RegValue& value);
  };

  static const LineKind kLineKinds[];
  static const ValueForm kValueForms[];

  [[noreturn]] void Fail(std::string what) const { throw ParseError{lineNo_, std::move(what)}; }

  bool NextLine() {
    if (pos_ >= text_.size()) return false;
    std::size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    line_ = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    ++lineNo_;
    if (!line_.empty() && line_.back() == '\r') line_.remove_suffix(1);
    if (line_.find('\0') != std::string_view::npos) Fail("NUL byte in the file; it must be plain text");
    return true;
  }

  void ReadHeader() {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") {
      lineNo_ = 1;
      Fail("byte order mark: save the file as plain ANSI text without BOM");
    }
    if (text_.substr(0, 2) == "\xFF\xFE" || text_.substr(0, 2) == "\xFE\xFF") {
      lineNo_ = 1;
      Fail("UTF-16 text: save the file as plain ANSI text in REGEDIT4 form");
    }
    if (!NextLine() || line_ != kHeader) {
      lineNo_ = 1;
      Fail("file does not start with REGEDIT4");
    }
  }

  const LineKind* Classify(std::string_view line) const {
    char first = line.find_first_not_of(" \t") == std::string_view::npos ? '\n' : line.front();
    const LineKind* kind = kLineKinds;
    while (kind->first != '\0' && kind->first != first) ++kind;
    return kind;
  }

  void Ignore() {}

  void Unexpected() {
    Fail("expected [key], \"name\"=value, @=value, a ; comment or a blank line, not \"" + Printable(line_) +
         "\"");
  }

  void Section() {
    std::string_view body = line_.substr(1);
    const bool deleting = !body.empty() && body.front() == '-';
    if (deleting && !isLog_) Fail("deleting keys or values is not supported here");
    if (deleting) body.remove_prefix(1);
    if (body.empty() || body.back() != ']') Fail("expected ] at the end of the key line");
    body.remove_suffix(1);
    std::string_view root = body.substr(0, kRootName.size());
    if (!NamesEqual(root, kRootName) || (body.size() > root.size() && body[root.size()] != '\\')) {
      Fail("key outside HKEY_LOCAL_MACHINE: only HKEY_LOCAL_MACHINE keys are kept here");
    }
    if (body.size() <= kRootName.size() + 1) {
      Fail("HKEY_LOCAL_MACHINE itself holds no values; name a key below it");
    }
    std::string_view path = body.substr(kRootName.size() + 1);
    parts_.clear();
    for (std::size_t start = 0;;) {
      std::size_t end = path.find('\\', start);
      std::string_view part = path.substr(start, end == std::string_view::npos ? end : end - start);
      if (part.empty()) Fail("empty key name in \"" + Printable(path) + "\"");
      if (HasControlByte(part)) Fail("control byte in the key name \"" + Printable(part) + "\"");
      if (part.size() > kMaxKeyNameLength) Fail("key name longer than 255 bytes");
      parts_.push_back(part);
      if (end == std::string_view::npos) break;
      start = end + 1;
    }
    if (NamesEqual(parts_.front(), kVolatileTopKey)) {
      Fail(
          "HKEY_LOCAL_MACHINE\\HARDWARE is rebuilt at every start and is not kept in this file; "
          "remove this section");
    }
    if (deleting) {
      std::size_t matched = 0;
      RegKey& gone = store_.Walk(store_.root(), parts_, &matched);
      if (matched == parts_.size()) RegStore::RemoveChild(*gone.parent(), parts_.back());
      chain_.clear();  // it may hold the key just removed
      key_ = nullptr;
      return;
    }
    key_ = &Reach();
    if (!isLog_) {
      if (std::size_t first = sections_.Record(key_, lineNo_); first != 0)
        Fail("duplicate key section, first at line " + std::to_string(first));
      sectionLine_ = lineNo_;
      sectionBody_ = pos_;
      RegStore::ReserveValues(*key_, ValueLinesAhead());
    }
  }

  // How many value lines follow, up to the next section.
  std::size_t ValueLinesAhead() const {
    std::size_t count = 0;
    for (std::size_t pos = pos_; pos < text_.size() && text_[pos] != '[';) {
      if (text_[pos] == '"' || text_[pos] == '@') ++count;
      const std::size_t end = text_.find('\n', pos);
      if (end == std::string_view::npos) break;
      pos = end + 1;
    }
    return count;
  }

  // The key parts_ names, added as needed. Sections mostly follow their
  // parent, so the walk starts from the keys the previous one went through.
  RegKey& Reach() {
    std::size_t same = 0;
    while (same < chain_.size() && same < parts_.size() && NamesEqual(chain_[same]->name(), parts_[same]))
      ++same;
    chain_.resize(same);
    RegKey* key = same == 0 ? &store_.root() : chain_.back();
    for (std::size_t i = same; i < parts_.size(); ++i) {
      RegKey* child = key->FindChild(parts_[i]);
      key = child != nullptr ? child : &store_.AddChild(*key, parts_[i], false);
      chain_.push_back(key);
    }
    return *key;
  }

  // The line of the value named name in the current section before line
  // before, or 0 when there is none (file only).
  std::size_t LineOfValue(std::string_view name, std::size_t before) const {
    std::size_t number = sectionLine_;
    for (std::size_t pos = sectionBody_; pos < text_.size() && number + 1 < before;) {
      const std::size_t end = std::min(text_.find('\n', pos), text_.size());
      const std::string_view line = text_.substr(pos, end - pos);
      pos = end + 1;
      ++number;
      std::string other;
      if (!line.empty() && line.front() == '@') {
        if (name.empty()) return number;
      } else if (!line.empty() && line.front() == '"') {
        Quoted(line.substr(1), other, "a quoted name");
        if (NamesEqual(other, name)) return number;
      }
    }
    return 0;
  }

  // Reads a quoted string from just after its opening quote into out (a
  // std::string or the bytes of a value); returns what follows the closing quote.
  template <typename Out>
  std::string_view Quoted(std::string_view text, Out& out, const char* what) const {
    using Unit = typename Out::value_type;
    // A value's text runs to the end of its line: one allocation for it.
    if constexpr (!std::is_same_v<Out, std::string>) out.reserve(text.size());
    std::size_t i = 0;
    while (true) {
      const std::size_t start = i;
      while (i < text.size() && !kEndsPlainRun[static_cast<unsigned char>(text[i])]) ++i;
      if (i > start) {
        const std::size_t had = out.size();
        out.resize(had + (i - start));
        std::memcpy(out.data() + had, text.data() + start, i - start);
      }
      if (i >= text.size()) Fail(std::string("missing closing quote in ") + what);
      const char c = text[i];
      if (c == '"') return text.substr(i + 1);
      if (c != '\\') {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02x", static_cast<unsigned char>(c));
        Fail(std::string("control byte ") + hex + " in " + what);
      }
      char next = i + 1 < text.size() ? text[i + 1] : ' ';
      if (next != '\\' && next != '"')
        Fail(std::string("bad escape \\") + Printable({&next, 1}) + " in " + what);
      out.push_back(static_cast<Unit>(next));
      i += 2;
    }
  }

  void Value() {
    if (key_ == nullptr) Fail("value outside any key section");
    RegValue value;
    std::string_view rest;
    if (line_.front() == '@') {
      rest = line_.substr(1);
    } else {
      rest = Quoted(line_.substr(1), value.name, "a quoted name");
      if (value.name.size() > kMaxValueNameLength) Fail("value name longer than 16383 bytes");
    }
    if (rest.empty() || rest.front() != '=') Fail("expected \"name\"=value: no = after the name");
    rest.remove_prefix(1);
    if (isLog_ && rest == "-") {
      RegStore::RemoveValue(*key_, value.name);
      return;
    }
    const ValueForm* form = kValueForms;
    while (!form->prefix.empty() && rest.substr(0, form->prefix.size()) != form->prefix) ++form;
    if (form->prefix.empty())
      Fail("expected \"name\"=value with \"text\", dword:, hex: or hex(type): after =");
    std::size_t firstLine = lineNo_;
    (this->*(form->parse))(rest.substr(form->prefix.size()), value);
    if (const RegValue* old = key_->FindValue(value.name)) {
      // In the file a key's values come from its one section: one the key has
      // already is a duplicate, and the section says where it was first.
      if (const std::size_t first = isLog_ ? 0 : LineOfValue(value.name, firstLine); first != 0) {
        lineNo_ = firstLine;
        std::string what = "duplicate value ";
        if (value.name.empty()) {
          what += '@';
        } else {
          what.append(1, '"').append(Printable(value.name)).append(1, '"');
        }
        Fail(what.append(", first at line ").append(std::to_string(first)));
      }
      value.name = old->name;
      RegStore::SetValue(*key_, std::move(value));
    } else {
      RegStore::AddValue(*key_, std::move(value));
    }
  }

  void StringForm(std::string_view rest, RegValue& value) {
    rest = Quoted(rest, value.data, "a quoted string");
    if (!rest.empty()) Fail("unexpected text after the closing quote: \"" + Printable(rest) + "\"");
    value.type = REG_SZ;
  }

  void DwordForm(std::string_view rest, RegValue& value) {
    if (rest.empty() || rest.size() > 8) Fail("dword: needs 1 to 8 hex digits");
    std::uint32_t number = 0;
    for (char c : rest) {
      int digit = HexDigit(c);
      if (digit < 0) Fail("dword: needs 1 to 8 hex digits, not \"" + Printable(rest) + "\"");
      number = number << 4 | static_cast<std::uint32_t>(digit);
    }
    value.type = REG_DWORD;
    value.data = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8), static_cast<BYTE>(number >> 16),
                  static_cast<BYTE>(number >> 24)};
  }

  void BinaryForm(std::string_view rest, RegValue& value) {
    value.type = REG_BINARY;
    HexBytes(rest, value.data);
  }

  void TypedHexForm(std::string_view rest, RegValue& value) {
    std::size_t close = rest.find("):");
    if (close == std::string_view::npos || close == 0 || close > 8) {
      Fail("expected hex(type): with the type in 1 to 8 hex digits");
    }
    std::uint32_t type = 0;
    for (char c : rest.substr(0, close)) {
      int digit = HexDigit(c);
      if (digit < 0) Fail("expected hex(type): with the type in 1 to 8 hex digits");
      type = type << 4 | static_cast<std::uint32_t>(digit);
    }
    value.type = type;
    HexBytes(rest.substr(close + 2), value.data);
  }

  void DeleteForm(std::string_view, RegValue&) {
    if (isLog_) Fail("expected nothing after =- (a deleted value)");
    Fail("deleting keys or values is not supported here");
  }

  // Bytes as "xx,xx,...", continued on the next line after ",\".
  void HexBytes(std::string_view text, std::vector<BYTE>& data) {
    data.reserve(text.size() / 3 + 1);
    if (text.empty()) return;
    for (std::size_t i = 0;;) {
      if (i + 2 > text.size() || HexDigit(text[i]) < 0 || HexDigit(text[i + 1]) < 0) {
        Fail("hex byte expected at \"" + Printable(text.substr(i, 8)) + "\"");
      }
      data.push_back(static_cast<BYTE>(HexDigit(text[i]) << 4 | HexDigit(text[i + 1])));
      i += 2;
      if (i == text.size()) return;
      if (text[i] != ',') Fail("expected , between hex bytes, not \"" + Printable(text.substr(i, 8)) + "\"");
      ++i;
      if (i == text.size()) Fail("hex byte expected after the last ,");
      if (text[i] == '\\' && i + 1 == text.size()) {
        if (!NextLine()) Fail("hex data continues past the end of the file");
        std::size_t indent = line_.find_first_not_of(" \t");
        text = indent == std::string_view::npos ? std::string_view() : line_.substr(indent);
        if (text.empty()) Fail("hex byte expected on the continuation line");
        i = 0;
      }
    }
  }

  std::string_view text_;
  bool isLog_;
  RegStore& store_;
  std::size_t pos_ = 0;
  std::size_t lineNo_ = 0;
  std::string_view line_;
  RegKey* key_ = nullptr;
  std::vector<std::string_view> parts_;
  std::vector<RegKey*> chain_;   // the keys down to the previous section's
  SectionLines sections_;        // file only: the line of each key's section
  std::size_t sectionLine_ = 0;  // file only: the line of the current section
  std::size_t sectionBody_ = 0;  // file only: where the current section's values start
};

const Parser::LineKind Parser::kLineKinds[] = {
    {'\n', &Parser::Ignore},  // blank, or spaces only
    {';', &Parser::Ignore},   // comment
    {'[', &Parser::Section},  // key section
    {'"', &Parser::Value},    // named value
    {'@', &Parser::Value},    // default value
    {'\0', &Parser::Unexpected},
};

const Parser::ValueForm Parser::kValueForms[] = {
    {"\"", &Parser::StringForm},     {"dword:", &Parser::DwordForm}, {"hex:", &Parser::BinaryForm},
    {"hex(", &Parser::TypedHexForm}, {"-", &Parser::DeleteForm},     {"", nullptr},
};

std::string Run(std::string_view text, const std::string& displayPath, RegStore& store, bool isLog) {
  try {
    Parser(text, isLog, store).Run();
  } catch (const ParseError& error) {
    return displayPath + ":" + std::to_string(error.line) + ": " + error.what;
  }
  return std::string();
}

}  // namespace

std::string ReadRegFile(std::string_view text, const std::string& displayPath, RegStore& store) {
  return Run(text, displayPath, store, false);
}

std::string ReplayRegLog(std::string_view text, const std::string& displayPath, RegStore& store,
                         std::size_t* completeBytes) {
  std::size_t end = text.rfind('\n');
  *completeBytes = end == std::string_view::npos ? 0 : end + 1;
  return Run(text.substr(0, *completeBytes), displayPath, store, true);
}

std::string WriteRegFile(const RegStore& store) {
  std::string out;
  out += kHeader;
  out += "\n\n";
  AppendTree(out, store.root());
  return out;
}

void AppendKeyLine(std::string& out, std::string_view keyPath, bool deleted) {
  PutKeyLine(out, keyPath, deleted);
}

void AppendValueLine(std::string& out, const RegValue& value, bool wrapHex) {
  AppendValue(out, value, wrapHex);
}

void AppendValueDeleteLine(std::string& out, std::string_view valueName) {
  AppendValueName(out, valueName);
  out += "-\n";
}

std::string FormatKeyLine(std::string_view keyPath) {
  std::string out;
  AppendKeyLine(out, keyPath, false);
  return out;
}

std::string FormatValueLine(const RegValue& value, bool wrapHex) {
  std::string out;
  AppendValueLine(out, value, wrapHex);
  return out;
}

std::string FormatKeyDeleteLine(std::string_view keyPath) {
  std::string out;
  AppendKeyLine(out, keyPath, true);
  return out;
}

std::string FormatValueDeleteLine(std::string_view valueName) {
  std::string out;
  AppendValueDeleteLine(out, valueName);
  return out;
}

}  // namespace platform::portable
