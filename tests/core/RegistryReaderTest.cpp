#include <gtest/gtest.h>

#include "FakePlatform.h"
#include "registry/basRegistry.h"

using namespace platform;

namespace {

// Any key: the reader does not care where it reads.
const char* kKey = "SOFTWARE\\Marvane\\Reader";

class RegistryReaderTest : public ::testing::Test {
 protected:
  RegistryValue Read(const std::string& name = "Identifier") {
    return reader.GetRegistryValue(HKEY_LOCAL_MACHINE, kKey, name);
  }
  fake::FakePlatform fake;
  basRegistry reader{fake};
};

TEST_F(RegistryReaderTest, MissingKeyGivesEmptyTextAndClosesTheZeroHandle) {
  EXPECT_EQ(Read(), RegistryValue(std::string()));
  EXPECT_EQ(fake.CallTexts(),
            (std::vector<std::string>{"RegOpenKeyA(\"" + std::string(kKey) + "\")", "RegCloseKey(0)"}));
  EXPECT_EQ(reader.LastRegistryResult, ERROR_INVALID_HANDLE);
}

TEST_F(RegistryReaderTest, MissingValueGivesEmptyTextAfterOnlyTheSizeQuery) {
  fake.PutKey(kKey);
  EXPECT_EQ(Read(), RegistryValue(std::string()));
  EXPECT_EQ(fake.CountOf("RegQueryValueExA"), 1);
  EXPECT_EQ(reader.LastRegistryResult, ERROR_SUCCESS);
  EXPECT_EQ(fake.OpenHandleCount(), 0u);
}

TEST_F(RegistryReaderTest, TextValuesEndAtTheirFirstNul) {
  struct Case {
    std::string stored;
    std::string expected;
  };
  const Case cases[] = {
      {std::string("x86 Family 6\0", 13), "x86 Family 6"},  // stored with its NUL
      {std::string("AMD64\0\0\0\0", 9), "AMD64"},           // size larger than text and NUL
      {"Intel64 Family 6", "Intel64 Family 6"},             // stored without a NUL
      {std::string("abc\0def", 7), "abc"},                  // a NUL inside
      {"", ""},                                             // empty
      {std::string("\0", 1), ""},                           // the NUL alone
      {std::string(40000, 'z') + std::string("\0", 1), std::string(40000, 'z')},  // longer than 32,767
  };
  for (const Case& c : cases) {
    fake.PutValue(kKey, "Identifier", REG_SZ, c.stored);
    EXPECT_EQ(Read(), RegistryValue(c.expected)) << c.stored.size() << " bytes";
    EXPECT_EQ(reader.LastRegistryResult, ERROR_SUCCESS);
  }
  EXPECT_EQ(fake.OpenHandleCount(), 0u);
}

TEST_F(RegistryReaderTest, NumbersComeBackSigned) {
  fake.PutValue(kKey, "Zero", REG_DWORD, fake::Dword(0));
  fake.PutValue(kKey, "Max", REG_DWORD, fake::Dword(0xFFFFFFFF));
  fake.PutValue(kKey, "Some", REG_DWORD, fake::Dword(2048));
  EXPECT_EQ(Read("Zero"), RegistryValue(0));
  EXPECT_EQ(Read("Max"), RegistryValue(-1));
  EXPECT_EQ(Read("Some"), RegistryValue(2048));
  EXPECT_EQ(RegistryValueText(Read("Max")), "-1");
}

TEST_F(RegistryReaderTest, OtherTypesAreNotRead) {
  for (DWORD type : {REG_EXPAND_SZ, REG_BINARY, REG_MULTI_SZ, REG_NONE}) {
    fake.PutValue(kKey, "Identifier", type, std::string("abc\0\0", 5));
    fake.ClearCalls();
    EXPECT_EQ(Read(), RegistryValue(std::string())) << "type " << type;
    EXPECT_EQ(fake.CountOf("RegQueryValueExA"), 1) << "type " << type;
  }
}

TEST_F(RegistryReaderTest, FailedReadGivesEmptyTextAndTheCloseIsLast) {
  fake.PutValue(kKey, "Identifier", REG_SZ, "x86");
  fake.PutValue(kKey, "Number", REG_DWORD, fake::Dword(7));
  fake.Fail("RegQueryValueExA", 2, ERROR_MORE_DATA);  // the text read
  EXPECT_EQ(Read(), RegistryValue(std::string()));
  EXPECT_EQ(reader.LastRegistryResult, ERROR_SUCCESS);
  fake.Fail("RegQueryValueExA", 4, ERROR_MORE_DATA);  // the number read
  EXPECT_EQ(Read("Number"), RegistryValue(std::string()));

  fake.Fail("RegCloseKey", 3, ERROR_INVALID_HANDLE);
  EXPECT_EQ(Read(), RegistryValue(std::string("x86")));
  EXPECT_EQ(reader.LastRegistryResult, ERROR_INVALID_HANDLE);
}

TEST_F(RegistryReaderTest, TextReadIsGivenTheReportedSize) {
  fake.PutValue(kKey, "Identifier", REG_SZ, std::string("x86 Family 6 Model 15\0", 22));
  Read();
  EXPECT_EQ(
      fake.CallTexts("RegQueryValueExA"),
      (std::vector<std::string>{"RegQueryValueExA(" + std::string(kKey) + ", \"Identifier\", size)",
                                "RegQueryValueExA(" + std::string(kKey) + ", \"Identifier\", read 22)"}));
}

}  // namespace
