// Files that fuzzing is unlikely to build: very large values, very long
// lines, very deep keys, and the edges of the hex and escape syntax.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/portable/MemoryRegistry.h"

namespace platform::portable {
namespace {

const std::string kHead = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\S]\n";

std::string Hex(std::size_t bytes) {
  std::string text;
  text.reserve(bytes * 3);
  for (std::size_t i = 0; i < bytes; ++i) {
    if (i) text += ',';
    text += i % 2 ? "ab" : "0f";
  }
  return text;
}

TEST(HostileFiles, HugeValuesAndLongLinesRoundTrip) {
  const std::string longText(1 << 20, 'q');  // one line of 1 MiB
  const std::string text = kHead + "\"Long\"=\"" + longText + "\"\n\"Blob\"=hex:" + Hex(1 << 19) + "\n\n";
  RegKey store;
  ASSERT_EQ(ReadRegFile(text, "HKLM.reg", store), "");
  const RegKey* key = FindKey(store, {"S"}, false);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->FindValue("Long")->data.size(), longText.size());
  EXPECT_EQ(key->FindValue("Blob")->data.size(), std::size_t{1} << 19);

  const std::string written = WriteRegFile(store);
  RegKey again;
  ASSERT_EQ(ReadRegFile(written, "HKLM.reg", again), "");
  EXPECT_EQ(WriteRegFile(again), written);
}

TEST(HostileFiles, DeepKeyPathsLoadAndWriteBack) {
  std::string path = "HKEY_LOCAL_MACHINE\\S";
  for (std::size_t depth = 1; depth < kMaxKeyDepth; ++depth) path += "\\k";  // as deep as allowed
  const std::string section = std::string(1, '[').append(path).append("]\n\"v\"=\"deep\"\n");
  const std::string text = "REGEDIT4\n\n" + section + "\n";
  RegKey store;
  ASSERT_EQ(ReadRegFile(text, "HKLM.reg", store), "");
  const std::string written = WriteRegFile(store);
  EXPECT_NE(written.find(section), std::string::npos);
  RegKey again;
  EXPECT_EQ(ReadRegFile(written, "HKLM.reg", again), "");
}

// Past each bound the file is refused at its line, quoting only the start of
// the offending text; the registry calls cannot build what would be refused.
TEST(HostileFiles, BoundsAreRefusedWithTheirLineAndAShortQuote) {
  std::string deep = "[HKEY_LOCAL_MACHINE\\S";
  for (std::size_t depth = 1; depth <= kMaxKeyDepth; ++depth) deep += "\\k";
  const std::pair<std::string, std::string> cases[] = {
      {"REGEDIT4\n\n" + deep + "]\n", "3: key more than 512 levels deep"},
      {"REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\" + std::string(1 << 20, 'k') + "]\n",
       "3: key name longer than 255"},
      {kHead + "\"" + std::string(16384, 'v') + "\"=\"x\"\n", "4: value name longer than 16383"},
      {kHead + std::string(1 << 20, 'x') + "\n", "4: expected [key]"},
  };
  for (const auto& [text, where] : cases) {
    RegKey store;
    const std::string error = ReadRegFile(text, "HKLM.reg", store);
    EXPECT_EQ(error.substr(0, 9 + where.size()), "HKLM.reg:" + where) << error.substr(0, 200);
    EXPECT_LT(error.size(), 300u) << error.substr(0, 400);
  }
  MemoryRegistry reg;
  HKEY key = 0;
  EXPECT_EQ(reg.RegCreateKeyA(HKEY_LOCAL_MACHINE, deep.substr(20, deep.size() - 22).c_str(), &key),
            ERROR_SUCCESS);
  EXPECT_EQ(reg.RegCreateKeyA(key, "k", &key), ERROR_INVALID_PARAMETER);
}

TEST(HostileFiles, EdgesOfTheSyntaxAreRejectedWithTheirLine) {
  const std::pair<std::string, std::string> cases[] = {
      {kHead + "\"a\"=hex:0\n", "4: "},              // half a byte
      {kHead + "\"a\"=hex:01,0\n", "4: "},           // truncated at the end
      {kHead + "\"a\"=hex:01,02,\\\n", "4: "},       // continuation at the end of the file
      {kHead + "\"a\"=hex(1g):00\n", "4: "},         // bad type
      {kHead + "\"a\"=hex(100000000):00\n", "4: "},  // type wider than 32 bits
      {kHead + "\"a\"=\"open\n", "4: "},             // unterminated string
      {kHead + "\"a\"=\"x\\\"\n", "4: "},            // escape swallows the closing quote
      {kHead + "\"a\\\"=\"x\"\n", "4: "},            // the same in a name
      {kHead + "\"a\"=\"x\\n\"\n", "4: "},           // an escape this format has not
      {kHead + "\"a\"=\"x\" trailing\n", "4: "},     // text after the value
      {kHead + "\"a\"=dword:\n", "4: "},             // no digits
      {kHead + "[HKEY_LOCAL_MACHINE\\S\n", "4: "},   // unclosed section
      {std::string("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\S]\n\"a\"=\"\0\"\n", 37), "4: "},
      {"\xFF\xFEREGEDIT4\n", "1: "},  // UTF-16
  };
  for (const auto& [text, where] : cases) {
    RegKey store;
    const std::string error = ReadRegFile(text, "HKLM.reg", store);
    EXPECT_EQ(error.substr(0, 9 + where.size()), "HKLM.reg:" + where) << text << " gave: " << error;
    EXPECT_GT(error.size(), 9 + where.size()) << "says what is wrong: " << text;
  }
}

}  // namespace
}  // namespace platform::portable
