#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/portable/MemoryRegistry.h"

namespace platform::portable {
namespace {

std::vector<BYTE> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

RegKey& Key(RegKey& root, std::vector<std::string_view> parts) {
  return *FindKey(root, parts, true);
}

const RegValue* Find(RegKey& root, std::vector<std::string_view> parts, std::string_view name) {
  const RegKey* key = FindKey(root, parts, false);
  return key ? key->FindValue(name) : nullptr;
}

std::string Load(const std::string& text, RegKey& root) {
  return ReadRegFile(text, "HKLM.reg", root);
}

TEST(RegText, WritesEveryValueFormAndReadsItBack) {
  const std::pair<RegValue, std::string> forms[] = {
      {{"Yes", REG_SZ, Bytes("Yes")}, "\"Yes\"=\"Yes\""},
      {{"Q \"q\" \\", REG_SZ, Bytes("C:\\d\\\"x\"")}, "\"Q \\\"q\\\" \\\\\"=\"C:\\\\d\\\\\\\"x\\\"\""},
      {{"Empty", REG_SZ, {}}, "\"Empty\"=\"\""},
      {{"WithNul", REG_SZ, Bytes(std::string("ab\0", 3))}, "\"WithNul\"=hex(1):61,62,00"},
      {{"Latin", REG_SZ, {0xE9}}, "\"Latin\"=hex(1):e9"},
      {{"Ten", REG_DWORD, {10, 0, 0, 0}}, "\"Ten\"=dword:0000000a"},
      {{"Short", REG_DWORD, {1, 2}}, "\"Short\"=hex(4):01,02"},
      {{"Bin", REG_BINARY, {0x00, 0xAB}}, "\"Bin\"=hex:00,ab"},
      {{"NoBin", REG_BINARY, {}}, "\"NoBin\"=hex:"},
      {{"Q", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}}, "\"Q\"=hex(b):01,00,00,00,00,00,00,00"},
      {{"Odd", 0x12345678, {0x7F}}, "\"Odd\"=hex(12345678):7f"},
      {{"None", REG_NONE, {}}, "\"None\"=hex(0):"},
      {{"", REG_EXPAND_SZ, Bytes("%x%")}, "@=hex(2):25,78,25"},
  };
  RegKey store;
  RegKey& ini = Key(store, {"SOFTWARE", "ODBC", "ODBC.INI"});
  Key(store, {"software", "A"});  // sorts before ODBC, ignoring case
  Key(store, {"HARDWARE"}).isVolatile = true;
  Key(store, {"HARDWARE", "Ignored"});  // volatile: never written
  std::string text =
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\A]\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC]\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI]\n";
  for (const auto& [value, line] : forms) {
    ini.SetValue(value);
    text += line + "\n";
  }
  text += "\n";
  ASSERT_EQ(WriteRegFile(store), text);
  RegKey loaded;
  ASSERT_EQ(Load(text, loaded), "");
  EXPECT_EQ(WriteRegFile(loaded), text);
}

TEST(RegText, LongHexWrapsBelowEightyColumnsAndReadsBack) {
  for (std::size_t size : {22u, 23u, 300u, 100000u}) {
    RegKey store;
    std::vector<BYTE> data(size);
    for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<BYTE>(i * 7);
    Key(store, {"K"}).SetValue({std::string(size % 1000, 'n'), REG_BINARY, data});
    std::string text = WriteRegFile(store);
    std::istringstream lines(text);
    std::size_t count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
      EXPECT_TRUE(line.size() < 80 || count == 3) << "only the line with a long name may be longer";
    }
    EXPECT_GT(count, 5 + size / 26);
    RegKey loaded;
    ASSERT_EQ(Load(text, loaded), "");
    ASSERT_NE(Find(loaded, {"k"}, std::string(size % 1000, 'N')), nullptr);
    EXPECT_EQ(Find(loaded, {"k"}, std::string(size % 1000, 'N'))->data, data);
    EXPECT_EQ(WriteRegFile(loaded), text);
  }
}

TEST(RegText, ReadsHandWrittenFiles) {
  RegKey store;
  ASSERT_EQ(Load("REGEDIT4\r\n; by hand\r\n\r\n   \r\n"
                 "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ODBC\\ODBC.INI\\Sales]\r\n"
                 "\"Driver\"=hex(1):2f,75,\\\r\n  73,72\r\n"
                 "\"Raw\"=hex(3):01,\\\n\t02\n"
                 "\"Mixed\"=dword:00ABcdEF\n"
                 "\"Latin\"=\"caf\xE9\"\n"
                 "[hkey_local_machine\\software\\odbc]\n"
                 "@=\"d\"\n",
                 store),
            "");
  const std::vector<std::string_view> sales = {"software", "odbc", "odbc.ini", "SALES"};
  EXPECT_EQ(Find(store, sales, "driver")->data, Bytes("/usr"));
  EXPECT_EQ(Find(store, sales, "driver")->type, DWORD{REG_SZ});
  EXPECT_EQ(Find(store, sales, "Raw")->data, (std::vector<BYTE>{1, 2}));
  EXPECT_EQ(Find(store, sales, "Mixed")->data, (std::vector<BYTE>{0xEF, 0xCD, 0xAB, 0x00}));
  EXPECT_EQ(Find(store, sales, "Latin")->data, Bytes("caf\xE9"));
  EXPECT_EQ(Find(store, {"SOFTWARE", "ODBC"}, "")->data, Bytes("d"));
  EXPECT_EQ(FindKey(store, {"software"}, false)->name, "SOFTWARE");
}

TEST(RegText, RejectsMalformedTextNamingTheLine) {
  const std::string head = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\S]\n";  // the next line is line 4
  const std::pair<std::string, std::string> cases[] = {
      {"", "1: file does not start with REGEDIT4"},
      {"\xEF\xBB\xBFREGEDIT4\n", "1: byte order mark"},
      {"REGEDIT4\n\"a\"=\"b\"\n", "2: value outside any key section"},
      {head + "x=1\n", "4: expected [key], \"name\"=value"},
      {head + "\"a\\q\"=\"b\"\n", "4: bad escape \\q in a quoted name"},
      {head + "\"a\"=\"b\tc\"\n", "4: control byte 0x09 in a quoted string"},
      {head + "\"a\"=dword:123456789\n", "4: dword: needs 1 to 8 hex digits"},
      {head + "\"a\"=hex:01,\n", "4: hex byte expected"},
      {head + "\"a\"=hex:01,\\\n  02,\\\n  zz\n", "6: hex byte expected"},
      {head + "\"a\"=-\n", "4: deleting keys or values is not supported here"},
      {head + "[-HKEY_LOCAL_MACHINE\\S]\n", "4: deleting keys or values is not supported here"},
      {head + "[HKEY_CURRENT_USER\\S]\n", "4: key outside HKEY_LOCAL_MACHINE"},
      {head + "[HKEY_LOCAL_MACHINE\\S\\]\n", "4: empty key name"},
      {head + "[HKEY_LOCAL_MACHINE\\" + std::string(256, 'k') + "]\n", "4: key name longer than 255"},
      {head + "[HKEY_LOCAL_MACHINE\\Hardware\\X]\n",
       "4: HKEY_LOCAL_MACHINE\\HARDWARE is rebuilt at every start"},
      {head + "\n[HKEY_LOCAL_MACHINE\\s]\n", "5: duplicate key section, first at line 3"},
      {head + "\"X\"=\"1\"\n\"x\"=\"2\"\n", "5: duplicate value \"x\", first at line 4"},
      {head + "\"a\"=\"b\"\n" + std::string("\"c\"=\"\0\"\n", 7), "5: NUL byte"},
  };
  for (const auto& [text, error] : cases) {
    RegKey store;
    EXPECT_EQ(Load(text, store).substr(0, 9 + error.size()), "HKLM.reg:" + error) << text;
  }
}

// A value is a duplicate only within its own key's section; the error names
// the line where it first appeared, counting CRLF lines, comments and hex
// continuation lines as they are.
TEST(RegText, DuplicateValuesNameTheLineTheyFirstAppearedOn) {
  const std::string head = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\S]\r\n";
  const std::pair<std::string, std::string> cases[] = {
      {head + "\"b\"=hex:01,\\\r\n  02\r\n@=\"1\"\r\n\"B\"=\"2\"\r\n",
       "7: duplicate value \"B\", first at line 4"},
      {head + "@=\"1\"\r\n; @=\"2\"\r\n\"a\"=\"3\"\r\n@=dword:1\r\n",
       "7: duplicate value @, first at line 4"},
      {head + "\"q\\\"\"=\"1\"\r\n\"x\"=\"2\"\r\n\"Q\\\"\"=\"3\"\r\n",
       "6: duplicate value \"Q\"\", first at line 4"},
      {head + "\"a\"=\"1\"\r\n[HKEY_LOCAL_MACHINE\\S\\T]\r\n\"a\"=\"1\"\r\n\"A\"=\"2\"\r\n",
       "7: duplicate value \"A\", first at line 6"},
  };
  for (const auto& [text, error] : cases) {
    RegKey store;
    EXPECT_EQ(Load(text, store), "HKLM.reg:" + error) << text;
  }
}

TEST(RegText, StringWithAnyByteAfterTextRoundTrips) {
  for (int byte = 1; byte <= 255; ++byte) {
    const std::vector<BYTE> data = {'a', static_cast<BYTE>(byte)};
    RegKey store;
    Key(store, {"S"}).SetValue({"v", REG_SZ, data});
    const std::string text = WriteRegFile(store);
    RegKey loaded;
    ASSERT_EQ(Load(text, loaded), "") << "byte " << byte << " written as " << text;
    const RegValue* value = Find(loaded, {"S"}, "v");
    ASSERT_NE(value, nullptr) << "byte " << byte;
    EXPECT_EQ(value->type, DWORD{REG_SZ}) << "byte " << byte;
    EXPECT_EQ(value->data, data) << "byte " << byte;
  }
}

}  // namespace
}  // namespace platform::portable
