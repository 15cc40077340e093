// /repair over the recording fake: each difference from the layout, made
// exactly what an install writes, with a line for every change.
#include <gtest/gtest.h>

#include <functional>

#include "FakePlatform.h"
#include "odbc/MdlODBC.h"
#include "setup/DataSources.h"

using namespace platform;

namespace {

TEST(RepairTest, EveryDifferenceIsWrittenAndSaidWithItsOldValue) {
  const MdlODBC::Branch& branch = MdlODBC::kWow64Branch;
  const DataSourceSpec spec = CurrentDataSource(0);  // Marvane-R
  const std::string key = branch.root + spec.name, jet = key + "\\Engines\\Jet";
  const std::string oldPath = "\\\\OLDSRV\\VLK-Data\\Current\\Marvane-R.mdb";
  struct Case {
    const char* what;
    std::function<void(fake::FakePlatform&)> change;
    Verdict verdict;
    std::string line;  // the first line said, or the detail of one left
  };
  const Case cases[] = {
      {"nothing to do", [](auto&) {}, Verdict::Exact, ""},
      {"missing value", [&](auto& f) { f.PutKey(jet).RemoveValue("UserCommitSync"); }, Verdict::Repaired,
       "Marvane-R: Engines\\Jet UserCommitSync was not there, now \"Yes\""},
      {"different bytes", [&](auto& f) { f.PutValue(key, "DBQ", REG_SZ, oldPath); }, Verdict::Repaired,
       "Marvane-R: DBQ was \"" + oldPath + "\", now \"" + spec.path + "\""},
      {"different type", [&](auto& f) { f.PutValue(key, "FIL", REG_EXPAND_SZ, "MS A"); }, Verdict::Repaired,
       "Marvane-R: FIL was hex(2):4d,53,20,41, now \"MS Access;\""},
      {"cut short", [&](auto& f) { f.RegDeleteKeyA(HKEY_LOCAL_MACHINE, jet.c_str()); }, Verdict::Repaired,
       "Marvane-R: key Marvane-R\\Engines\\Jet was not there, now created"},
      {"entry naming another driver",
       [&](auto& f) { f.PutValue(branch.listing, spec.name, REG_SZ, "SQL Server"); }, Verdict::Repaired,
       "Marvane-R: its entry under ODBC Data Sources was \"SQL Server\", now \"Microsoft Access Driver "
       "(*.mdb)\""},
      // Beside a DBQ changed by hand: the rest is repaired, but not a data source with a key of its own.
      {"extra value",
       [&](auto& f) { f.PutValue(key, "DBQ", REG_SZ, oldPath), f.PutValue(key, "PWD", REG_SZ, ""); },
       Verdict::Left, "it has values in " + key + " that this program does not write: \"PWD\""},
      {"extra subkey", [&](auto& f) { f.PutValue(key, "DBQ", REG_SZ, oldPath), f.PutKey(jet + "\\Mine"); },
       Verdict::Left, "it has keys below " + jet + " that this program does not write: \"Mine\""},
      {"nothing there",
       [&](auto& f) {
         f.PutKey(branch.listing).RemoveValue(spec.name);
         for (const char* below : {"\\Engines\\Jet", "\\Engines", ""})
           f.RegDeleteKeyA(HKEY_LOCAL_MACHINE, (key + below).c_str());
       },
       Verdict::Registered, ""},
  };
  fake::FakePlatform clean;
  MdlODBC(clean, clean, clean).CreateDataSourceWow64(spec.name, spec.path, spec.description);
  for (const Case& c : cases) {
    fake::FakePlatform fake;
    MdlODBC odbc(fake, fake, fake);
    odbc.CreateDataSourceWow64(spec.name, spec.path, spec.description);
    c.change(fake);
    const auto before = fake.Snapshot();
    fake.ClearCalls();
    std::vector<std::string> said;
    const DataSourceResult result =
        odbc.RepairDataSource(branch, spec, [&](const std::string& line) { said.push_back(line); });
    EXPECT_EQ(result.verdict, c.verdict) << c.what << ": " << result.detail;
    const bool left = c.verdict == Verdict::Left;
    EXPECT_EQ(left ? result.detail : said.empty() ? "" : said[0], c.line) << c.what;
    // Nothing is written without a line that says so (a registration is the result's own line).
    int keysMade = 0;
    for (const std::string& line : said) keysMade += line.find(" now created") != std::string::npos;
    if (c.verdict != Verdict::Registered) {
      EXPECT_EQ(fake.CountOf("RegSetValueExA"), static_cast<int>(said.size()) - keysMade) << c.what;
    }
    if (c.verdict == Verdict::Exact || c.what == std::string("extra subkey")) {
      EXPECT_EQ(fake.Snapshot(), before) << c.what;
      EXPECT_EQ(fake.CountOf("RegSetValueExA") + fake.CountOf("RegCreateKeyA"), 0) << c.what;
    } else {
      if (c.verdict == Verdict::Left) fake.PutKey(key).RemoveValue("PWD");
      EXPECT_EQ(fake.Snapshot(), clean.Snapshot()) << c.what;
      // Exactly ours: /remove takes it.
      EXPECT_EQ(odbc.RemoveDataSource(branch, spec).verdict, Verdict::Removed) << c.what;
    }
  }
}

}  // namespace
