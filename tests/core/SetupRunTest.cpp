#include <gtest/gtest.h>

#include <algorithm>

#include "FakePlatform.h"
#include "odbc/MdlODBC.h"
#include "registry/basRegistry.h"
#include "setup/DataSources.h"
#include "setup/frmMarvane.h"

using namespace platform;

namespace {

const char* kProcessorKey = "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";

class SetupRunTest : public ::testing::Test {
 protected:
  void RunSetup() { fake.Run(mainWindow); }

  // The data source names, in the order they were probed.
  std::vector<std::string> Probed(const std::string& root) {
    std::vector<std::string> names;
    const std::string prefix = "RegOpenKeyExA(\"" + root;
    for (const std::string& call : fake.CallTexts("RegOpenKeyExA"))
      if (call.rfind(prefix, 0) == 0 && call.find("ODBC Data Sources") == std::string::npos)
        names.push_back(call.substr(prefix.size(), call.find('"', prefix.size()) - prefix.size()));
    return names;
  }

  fake::FakePlatform fake;
  basRegistry registry{fake};
  MdlODBC odbc{fake, fake, fake};
  frmMarvane mainWindow{fake, fake, registry, odbc};
};

TEST(DataSourcesTest, TextsOfCurrentAndArchiveDataSources) {
  const std::string server = std::string("\\\\") + DataServerName;
  DataSourceSpec current = CurrentDataSource(4);
  EXPECT_EQ(current.name, "Marvane-S2");
  EXPECT_EQ(current.path, server + "\\VLK-Data\\Current\\Marvane-S2.mdb");
  EXPECT_EQ(current.description, "Marvane Current - School Interim #2");

  DataSourceSpec archive = ArchiveDataSource(0, 2002);
  EXPECT_EQ(archive.name, "MV2002-R");
  EXPECT_EQ(archive.path, server + "\\VLK-Data\\MV-2002\\Marvane-R.mdb");
  EXPECT_EQ(archive.description, "Marvane 2002 - County");
  EXPECT_EQ(ArchiveDataSource(1, 2025).description, "Marvane 2025 - County Interim #1");
  EXPECT_EQ(ArchiveDataSource(3, 999).name, "MV0999-S1");
  EXPECT_THROW(ArchiveDataSource(5, 2002), std::out_of_range);
}

TEST_F(SetupRunTest, RegistersInOrderForTheYear) {
  struct Case {
    WORD year;
    std::size_t count;
  };
  for (Case c : {Case{2001, 5}, Case{2002, 5}, Case{2003, 10}, Case{2026, 125}}) {
    fake::FakePlatform local;
    local.year = c.year;
    local.PutValue(kProcessorKey, "Identifier", REG_SZ, "x86 Family 6 Model 15 Stepping 11");
    basRegistry reader(local);
    MdlODBC module(local, local, local);
    frmMarvane window(local, local, reader, module);
    local.Run(window);

    std::vector<std::string> names;
    for (const std::string& call : local.CallTexts("RegCreateKeyA"))
      if (call.find("Engines") == std::string::npos && call.find("ODBC Data Sources") == std::string::npos)
        names.push_back(call.substr(std::string("RegCreateKeyA(\"SOFTWARE\\ODBC\\ODBC.INI\\").size()));
    ASSERT_EQ(names.size(), c.count) << c.year;
    EXPECT_EQ(names[0], "Marvane-R\")");
    EXPECT_EQ(names[4], "Marvane-S2\")");
    if (c.count > 5) {
      EXPECT_EQ(names[5], "MV2002-R\")");
      EXPECT_EQ(names[9], "MV2002-S2\")");
      EXPECT_EQ(names.back(), "MV" + std::to_string(c.year - 1) + "-S2\")");
    }
    EXPECT_EQ(window.Result().Attempted(), c.count);
    EXPECT_EQ(window.Result().ExitStatus(), 0);
  }
}

TEST_F(SetupRunTest, ProcessorIdentifierChoosesTheBranch) {
  struct Case {
    const char* identifier;  // null: no value
    bool native;
  };
  const Case cases[] = {
      {"x86 Family 6 Model 15 Stepping 11", true},
      {"Family X86 something", true},
      {"GenuineIntel-x86", true},
      {"Intel64 Family 6 Model 85 Stepping 7", false},
      {"AMD64 Family 25 Model 33 Stepping 0", false},
      {"x8 6", false},
      {nullptr, false},
  };
  for (const Case& c : cases) {
    fake::FakePlatform local;
    local.year = 2003;
    if (c.identifier) local.PutValue(kProcessorKey, "Identifier", REG_SZ, c.identifier);
    basRegistry reader(local);
    MdlODBC module(local, local, local);
    frmMarvane window(local, local, reader, module);
    local.Run(window);
    const std::string root = c.native ? MdlODBC::kNativeRoot : MdlODBC::kWow64Root;
    EXPECT_TRUE(local.HasKey(root + "MV2002-S2")) << (c.identifier ? c.identifier : "(none)");
    EXPECT_EQ(local.HasKey(std::string(MdlODBC::kWow64Root) + "Marvane-R"), !c.native);
  }
  EXPECT_TRUE(IdentifiesX86("abcX86"));
  EXPECT_FALSE(IdentifiesX86(""));
}

TEST_F(SetupRunTest, NumericIdentifierSelectsWow64) {
  fake.year = 2002;
  fake.PutValue(kProcessorKey, "Identifier", REG_DWORD, fake::Dword(86));
  RunSetup();
  EXPECT_EQ(mainWindow.ProcessorId, "86");
  EXPECT_EQ(Probed(MdlODBC::kWow64Root).size(), 5u);
}

TEST_F(SetupRunTest, WindowsAndMessagesComeInOrder) {
  fake.year = 2002;
  RunSetup();
  std::vector<std::string> windowCalls;
  for (const std::string& call : fake.CallTexts())
    if (call.rfind("Reg", 0) != 0 && call.rfind("GetVersionExA(", 0) != 0 &&
        call.rfind("GetSystemDirectoryA(", 0) != 0)
      windowCalls.push_back(call);
  const std::vector<std::string> expected = {
      "Run(Marvane Setup)",
      "Show(Marvane Setup)",
      "Show(Searching)",
      "SetHeight(Searching, 2475)",
      "SetWidth(Searching, 4740)",
      "Width(Searching)",
      "Width(Marvane Setup)",
      "SetLeft(Searching, 832.5)",
      "Height(Searching)",
      "Height(Marvane Setup)",
      "SetTop(Searching, 847.5)",
      "Refresh(Searching)",
      "GetLocalTime()",
      "Unload(Searching)",
      "MessageBoxA(Marvane Installation: Setup Complete - DO NOT run this setup again.)",
      "Unload(Marvane Setup)",
  };
  EXPECT_EQ(windowCalls, expected);
  // The system is shown the program is alive after each registration.
  EXPECT_EQ(fake.keepResponsiveCalls, 5);
  EXPECT_EQ(fake.messageBoxes.back().type, MB_OK);
  EXPECT_EQ(mainWindow.Result().ExitStatus(), 0);
}

// A clock at the counter's largest year: the walk ends after its last year.
TEST(DataSourcesTest, WalkUpToTheLargestYearEnds) {
  fake::FakePlatform fake;
  fake.year = 32768;  // last archive year 32767
  basRegistry reader(fake);
  MdlODBC odbc(fake, fake, fake);
  MachineFacts facts(reader, fake, odbc);
  const std::size_t expected = 5 * (1 + 32767 - 2002 + 1);
  std::vector<std::string> walked;
  std::int16_t year = 0;
  const auto visit = [](const DataSourceSpec& spec, const MdlODBC::Branch&) {
    return DataSourceResult{spec.name, Verdict::Present, ""};
  };
  Outcome outcome(Mode::Check);
  ASSERT_NO_THROW(
      ForEachDataSource(facts, year, visit, nullptr, outcome, [&](const DataSourceResult& result) {
        if (walked.size() == expected) throw std::length_error("walked past the last year");
        walked.push_back(result.name);
      }));
  EXPECT_EQ(walked.size(), expected);
  EXPECT_EQ(walked.back(), "MV32767-S2");
}

TEST_F(SetupRunTest, CentringRejectsSizesThatAreNotFinite) {
  EXPECT_FLOAT_EQ(CentredOffset(100, 40), 30);
  EXPECT_FLOAT_EQ(CentredOffset(40, 101), -30.5f);
  fake.widthOverride = std::numeric_limits<float>::infinity();
  EXPECT_THROW(RunSetup(), std::range_error);
  EXPECT_EQ(fake.CountOf("RegOpenKeyExA"), 0);
}

TEST_F(SetupRunTest, FailingRegistrationStopsNeitherTheNextNorTheOutcome) {
  fake.year = 2004;  // 15 data sources
  fake.PutValue(kProcessorKey, "Identifier", REG_SZ, "x86 Family 6");
  fake.Fail("RegSetValueExA", 13 * 2 + 3, ERROR_ACCESS_DENIED);  // a value of the third data source
  fake.Fail("RegCreateKeyA", 4 * 14 + 1, ERROR_ACCESS_DENIED);   // the key of the fifteenth
  RunSetup();

  EXPECT_EQ(Probed(MdlODBC::kNativeRoot).size(), 15u);
  EXPECT_TRUE(fake.HasKey(std::string(MdlODBC::kNativeRoot) + "MV2003-S1\\Engines\\Jet"));
  const Outcome& outcome = mainWindow.Result();
  EXPECT_EQ(outcome.FailedNames(), (std::vector<std::string>{"Marvane-S", "MV2003-S2"}));
  EXPECT_EQ(outcome.ExitStatus(), 1);
  ASSERT_EQ(fake.messageBoxes.size(), 1u);
  EXPECT_EQ(fake.messageBoxes[0].caption, "Marvane Installation");
  EXPECT_NE(fake.messageBoxes[0].text.find("2 of 15 data sources could not be registered"),
            std::string::npos);
  EXPECT_NE(fake.messageBoxes[0].text.find("\nMarvane-S\nMV2003-S2\n"), std::string::npos);
  EXPECT_EQ(fake.messageBoxes[0].text.find("Setup Complete"), std::string::npos);
}

TEST_F(SetupRunTest, UnreadableVersionOnEveryRegistrationIsReportedForEach) {
  fake.year = 2003;
  fake.version.dwPlatformId = 7;
  RunSetup();
  EXPECT_EQ(fake.messageBoxes.size(), 11u);  // ten "Failed to get OS Version", then the outcome
  EXPECT_EQ(mainWindow.Result().FailedNames().size(), 10u);
  EXPECT_EQ(fake.CountOf("RegCreateKeyA"), 0);
}

TEST_F(SetupRunTest, ProgressWindowFailingToCloseStillGivesTheOutcome) {
  fake.year = 2002;
  fake.Fail("Unload", 1);
  RunSetup();
  EXPECT_EQ(fake.messageBoxes.size(), 1u);
  EXPECT_EQ(mainWindow.Result().ExitStatus(), 0);
}

TEST(OutcomeTest, NamesTheFirstTenFailuresAndCountsTheRest) {
  for (const auto& [failures, tail] :
       {std::pair<int, const char*>{13, "\nDS9\nand 3 more\n\n"}, {10, "\nDS9\n\n"}}) {
    Outcome outcome;
    outcome.Add({"", Verdict::Registered, ""});
    for (int i = 0; i < failures; ++i) outcome.Add({"DS" + std::to_string(i), Verdict::Failed, ""});
    const std::string text = outcome.Message();
    EXPECT_NE(text.find(std::to_string(failures) + " of " + std::to_string(failures + 1) + " data sources"),
              std::string::npos);
    EXPECT_NE(text.find(tail), std::string::npos) << text;
    EXPECT_EQ(text.find("DS10"), std::string::npos);
    EXPECT_NE(text.find("run this setup as an administrator"), std::string::npos);
    EXPECT_EQ(outcome.ExitStatus(), 1);
  }

  Outcome clean;
  clean.Add({"", Verdict::Registered, ""});
  EXPECT_EQ(clean.Message(), "Setup Complete - DO NOT run this setup again.");
  EXPECT_EQ(clean.ExitStatus(), 0);
}

}  // namespace
