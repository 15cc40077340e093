#include "setup/DataSources.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <set>
#include <stdexcept>

namespace {

constexpr std::array<const char*, 5> LedgerTails = {" - County", " - County Interim #1", " - School",
                                                    " - School Interim #1", " - School Interim #2"};

std::string Suffix(int ledger) {
  if (ledger < 0 || ledger >= static_cast<int>(LedgerSuffixes.size()))
    throw std::out_of_range("no ledger " + std::to_string(ledger));
  return LedgerSuffixes[static_cast<std::size_t>(ledger)];
}

std::string ServerPath(const std::string& rest) {
  return std::string("\\\\") + DataServerName + rest;
}

}  // namespace

std::string FourDigitYear(std::int16_t year) {
  std::string digits = std::to_string(year < 0 ? -year : year);
  if (digits.size() < 4) digits.insert(0, 4 - digits.size(), '0');
  return year < 0 ? "-" + digits : digits;
}

DataSourceSpec CurrentDataSource(int ledger) {
  const std::string suffix = Suffix(ledger);
  return {"Marvane-" + suffix, ServerPath("\\VLK-Data\\Current\\Marvane-" + suffix + ".mdb"),
          std::string("Marvane Current") + LedgerTails[static_cast<std::size_t>(ledger)]};
}

DataSourceSpec ArchiveDataSource(int ledger, std::int16_t archiveYear) {
  const std::string suffix = Suffix(ledger);
  const std::string year = FourDigitYear(archiveYear);
  return {"MV" + year + "-" + suffix, ServerPath("\\VLK-Data\\MV-" + year + "\\Marvane-" + suffix + ".mdb"),
          "Marvane " + year + LedgerTails[static_cast<std::size_t>(ledger)]};
}

namespace {

DataSourceResult Visit(MachineFacts& facts, const std::function<DataSourceSpec()>& build, std::size_t index,
                       const DataSourceVisit& visit) {
  DataSourceResult result{"data source " + std::to_string(index), Verdict::Failed, ""};
  try {
    const DataSourceSpec spec = build();
    result.name = spec.name;
    result = visit(spec, facts.Branch());
  } catch (const std::exception& error) {
    result.verdict = Verdict::Failed;
    result.detail = error.what();
  }
  return result;
}

}  // namespace

void ForEachDataSource(MachineFacts& facts, std::int16_t& archiveYear, const DataSourceVisit& visit,
                       RunLog* log, Outcome& outcome,
                       const std::function<void(const DataSourceResult&)>& after,
                       const LaterYears& laterYears) {
  std::size_t index = 0;
  const auto ledgers = [&](const std::function<DataSourceSpec(int)>& build) {
    for (int ledger = 0; ledger < static_cast<int>(LedgerSuffixes.size()); ++ledger) {
      const DataSourceResult result = Visit(
          facts, [&build, ledger] { return build(ledger); }, ++index, visit);
      if (log != nullptr) log->Line(Describe(result));
      outcome.Add(result);
      if (after) after(result);
    }
  };
  const auto archive = [&](std::int16_t year) {
    archiveYear = year;
    ledgers([year](int ledger) { return ArchiveDataSource(ledger, year); });
  };

  ledgers(CurrentDataSource);
  const std::int16_t last = facts.LastArchiveYear();
  archiveYear = FirstArchiveYear;
  while (archiveYear <= last) {
    archive(archiveYear);
    // The counter cannot go past its largest value.
    if (archiveYear == std::numeric_limits<std::int16_t>::max()) break;
    ++archiveYear;
  }
  if (laterYears)
    for (const std::int16_t year : laterYears(last)) archive(year);
}

std::vector<std::int16_t> ArchiveYearsAfter(const std::vector<std::string>& names, std::int16_t last) {
  std::set<std::int16_t> years;
  for (const std::string& name : names) {
    if (name.size() < 8 || !SameText(name.substr(0, 2), "MV") || name[6] != '-') continue;
    const bool digits =
        std::all_of(name.begin() + 2, name.begin() + 6, [](char c) { return c >= '0' && c <= '9'; });
    if (!digits) continue;
    int year = 0;
    for (std::size_t i = 2; i < 6; ++i) year = year * 10 + (name[i] - '0');
    const std::string suffix = name.substr(7);
    const bool ledger = std::any_of(LedgerSuffixes.begin(), LedgerSuffixes.end(),
                                    [&](const char* known) { return SameText(suffix, known); });
    if (ledger && year > last && year >= FirstArchiveYear) years.insert(static_cast<std::int16_t>(year));
  }
  return {years.begin(), years.end()};
}
