// A failure injected at every kind of platform call, in the first, a middle
// and the last of 125 registrations: every other registration is done, the
// outcome and the exit status say what happened, and nothing outside the
// failing data source differs from a clean run.
#include <gtest/gtest.h>

#include <string>

#include "FakeHost.h"
#include "odbc/MdlODBC.h"
#include "setup/DataSources.h"
#include "setup/SetupProgram.h"

using namespace platform;

namespace {

const char* kProcessorKey = "HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0";

enum class Expect {
  AllRegistered,  // exit 0, the same registry as a clean run
  OneFails,       // exit 1, the outcome names the one data source
  Stops,          // exit 1 before any registration, the error shown
};

struct Machine {
  bool native = false;  // an x86 identifier
  bool numericIdentifier = false;
};

void Seed(fake::FakePlatform& fake, const Machine& setup) {
  fake.year = 2026;
  if (setup.numericIdentifier)
    fake.PutValue(kProcessorKey, "Identifier", REG_DWORD, fake::Dword(8664));
  else
    fake.PutValue(
        kProcessorKey, "Identifier", REG_SZ,
        setup.native ? "x86 Family 6 Model 15 Stepping 11" : "Intel64 Family 6 Model 85 Stepping 7");
  fake.PutValue("SOFTWARE\\Vendor\\Tool", "Setting", REG_SZ, "kept");
  // As on Windows, the listing is there before the first run.
  fake.PutValue(setup.native ? MdlODBC::kNativeListing : MdlODBC::kWow64Listing, "Other", REG_SZ,
                "SQL Server");
  fake.PutValue(std::string(setup.native ? MdlODBC::kWow64Root : MdlODBC::kNativeRoot) + "Marvane-R", "DBQ",
                REG_SZ, "the other branch");
}

std::vector<std::string> Names() {
  std::vector<std::string> names;
  for (int ledger = 0; ledger < 5; ++ledger) names.push_back(CurrentDataSource(ledger).name);
  for (std::int16_t year = 2002; year <= 2025; ++year)
    for (int ledger = 0; ledger < 5; ++ledger) names.push_back(ArchiveDataSource(ledger, year).name);
  return names;
}

// The snapshot without anything of one data source.
std::map<std::string, std::string> Without(std::map<std::string, std::string> snapshot,
                                           const std::string& name, bool native) {
  const std::string root = fake::Lower(native ? MdlODBC::kNativeRoot : MdlODBC::kWow64Root);
  const std::string key = root + fake::Lower(name);
  for (auto it = snapshot.begin(); it != snapshot.end();) {
    if (it->first == key || it->first.rfind(key + "\\", 0) == 0) {
      it = snapshot.erase(it);
      continue;
    }
    if (it->first == fake::Lower(native ? MdlODBC::kNativeListing : MdlODBC::kWow64Listing)) {
      const std::string entry = "\n\"" + name + "\"=\"" + MdlODBC::kDriverName + "\"";
      auto at = it->second.find(entry);
      if (at != std::string::npos) it->second.erase(at, entry.size());
    }
    ++it;
  }
  return snapshot;
}

struct RunResult {
  int status;
  std::map<std::string, std::string> snapshot;
  std::vector<fake::MessageBox> boxes;
};

RunResult RunWith(const Machine& setup, const std::string& op, int occurrence) {
  fake::FakePlatform fake;
  Seed(fake, setup);
  if (!op.empty()) fake.Fail(op, occurrence);
  fake::FakeHost host(fake);
  RunLog log;
  std::string out, errors;
  const int status = RunSetup(host, CommandLine{}, log, out, errors);
  // A close that fails leaves its handle open; every other run closes all it opens.
  if (op != "RegCloseKey") {
    EXPECT_EQ(fake.OpenHandleCount(), 0u) << op << " #" << occurrence;
  }
  return {status, fake.Snapshot(), fake.messageBoxes};
}

struct Fault {
  const char* what;
  const char* op;
  int perRegistration;  // calls of op per data source; 0: not within a registration
  int offset;           // which call: k-th data source's first is perRegistration * (k - 1) + offset
  Machine setup;
  Expect expect;
};

const Fault kFaults[] = {
    {"probe", "RegOpenKeyExA", 2, 1, {}, Expect::AllRegistered},
    {"entry's listing open", "RegOpenKeyExA", 2, 2, {}, Expect::OneFails},
    {"entry query", "RegQueryValueExA", 1, 3, {}, Expect::OneFails},  // after the reader's two
    {"create of the data source key", "RegCreateKeyA", 4, 1, {}, Expect::OneFails},
    {"create of Engines\\Jet", "RegCreateKeyA", 4, 3, {}, Expect::OneFails},
    {"create of the listing key", "RegCreateKeyA", 4, 4, {}, Expect::OneFails},
    {"first set", "RegSetValueExA", 13, 1, {}, Expect::OneFails},
    {"listing entry", "RegSetValueExA", 13, 13, {}, Expect::OneFails},
    {"close", "RegCloseKey", 5, 3, {}, Expect::AllRegistered},  // after the reader's and the entry's
    {"version query", "GetVersionExA", 1, 1, {}, Expect::AllRegistered},
    {"system directory", "GetSystemDirectoryA", 1, 1, {true, false}, Expect::OneFails},
    {"reader open", "RegOpenKeyA", 0, 1, {}, Expect::AllRegistered},
    {"size query", "RegQueryValueExA", 0, 1, {}, Expect::AllRegistered},
    {"text read", "RegQueryValueExA", 0, 2, {}, Expect::AllRegistered},
    {"number read", "RegQueryValueExA", 0, 2, {false, true}, Expect::AllRegistered},
    {"outcome box", "MessageBoxA", 0, 1, {}, Expect::AllRegistered},
    {"start", "Run", 0, 1, {}, Expect::Stops},
    {"show main window", "Show", 0, 1, {}, Expect::Stops},
    {"show progress window", "Show", 0, 2, {}, Expect::Stops},
    {"set height", "SetHeight", 0, 1, {}, Expect::Stops},
    {"set width", "SetWidth", 0, 1, {}, Expect::Stops},
    {"read width", "Width", 0, 2, {}, Expect::Stops},
    {"read height", "Height", 0, 1, {}, Expect::Stops},
    {"set left", "SetLeft", 0, 1, {}, Expect::Stops},
    {"set top", "SetTop", 0, 1, {}, Expect::Stops},
    {"repaint", "Refresh", 0, 1, {}, Expect::Stops},
    {"unload progress window", "Unload", 0, 1, {}, Expect::AllRegistered},
    {"unload main window", "Unload", 0, 2, {}, Expect::AllRegistered},
};

TEST(FaultInjection, EveryKindOfCallAtFirstMiddleAndLastRegistration) {
  const std::vector<std::string> names = Names();
  ASSERT_EQ(names.size(), 125u);
  std::map<std::pair<bool, bool>, RunResult> clean;
  for (Machine setup : {Machine{false, false}, Machine{true, false}, Machine{false, true}}) {
    RunResult run = RunWith(setup, "", 0);
    ASSERT_EQ(run.status, 0);
    clean.emplace(std::make_pair(setup.native, setup.numericIdentifier), std::move(run));
  }

  for (const Fault& fault : kFaults) {
    const std::vector<int> positions =
        fault.perRegistration ? std::vector<int>{1, 63, 125} : std::vector<int>{0};
    for (int k : positions) {
      const int occurrence =
          fault.perRegistration ? fault.perRegistration * (k - 1) + fault.offset : fault.offset;
      SCOPED_TRACE(std::string(fault.what) + " in registration " + std::to_string(k));
      const RunResult run = RunWith(fault.setup, fault.op, occurrence);
      const RunResult& reference = clean.at({fault.setup.native, fault.setup.numericIdentifier});
      const std::string& outcome = run.boxes.empty() ? std::string() : run.boxes.back().text;

      switch (fault.expect) {
        case Expect::AllRegistered:
          EXPECT_EQ(run.status, 0);
          EXPECT_TRUE(run.snapshot == reference.snapshot);
          if (std::string(fault.op) != "MessageBoxA") {
            EXPECT_EQ(outcome, "Setup Complete - DO NOT run this setup again.");
          }
          break;
        case Expect::OneFails: {
          const std::string& name = names[static_cast<std::size_t>(k - 1)];
          EXPECT_EQ(run.status, 1);
          EXPECT_NE(outcome.find("1 of 125 data sources could not be registered:\n\n" + name + "\n"),
                    std::string::npos)
              << outcome;
          EXPECT_TRUE(Without(run.snapshot, name, fault.setup.native) ==
                      Without(reference.snapshot, name, fault.setup.native));
          EXPECT_NE(run.snapshot, reference.snapshot);
          break;
        }
        case Expect::Stops:
          EXPECT_EQ(run.status, 1);
          ASSERT_EQ(run.boxes.size(), 1u);
          EXPECT_EQ(run.boxes[0].text.rfind("Setup stopped before it finished: ", 0), 0u)
              << run.boxes[0].text;
          EXPECT_EQ(run.snapshot, RunWith({}, "Run", 0).snapshot);  // nothing registered
          EXPECT_EQ(run.snapshot.at(fake::Lower(MdlODBC::kWow64Listing)).find("Marvane"), std::string::npos);
          break;
      }
    }
  }
}

TEST(FaultInjection, SavingFailureAfterACompleteRunIsReported) {
  fake::FakePlatform fake;
  Seed(fake, {});
  fake::FakeHost host(fake);
  host.closeError = "HKLM.reg: cannot be saved";
  RunLog log;
  std::string out, errors;
  EXPECT_EQ(RunSetup(host, CommandLine{}, log, out, errors), 1);
  EXPECT_NE(errors.find("HKLM.reg: cannot be saved"), std::string::npos);
}

}  // namespace
