#include "setup/DataSources.h"

#include <algorithm>
#include <cctype>
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

void Visit(MachineFacts& facts, const std::function<DataSourceSpec()>& build, std::size_t index,
           const DataSourceVisit& visit, const std::function<void(DataSourceResult)>& done) {
  DataSourceResult result{"data source " + std::to_string(index), Verdict::Failed, ""};
  try {
    const DataSourceSpec spec = build();
    result.name = spec.name;
    result = visit(spec, ChooseBranch(facts.ProcessorId()));
  } catch (const std::exception& error) {
    result.verdict = Verdict::Failed;
    result.detail = error.what();
  }
  done(std::move(result));
}

}  // namespace

void ForEachDataSource(MachineFacts& facts, std::int16_t& archiveYear, const DataSourceVisit& visit,
                       const std::function<void(DataSourceResult)>& done,
                       const std::function<std::vector<std::int16_t>(std::int16_t)>& laterYears) {
  std::size_t index = 0;
  for (int ledger = 0; ledger < static_cast<int>(LedgerSuffixes.size()); ++ledger)
    Visit(
        facts, [ledger] { return CurrentDataSource(ledger); }, ++index, visit, done);

  const std::int16_t last = facts.LastArchiveYear();
  archiveYear = FirstArchiveYear;
  while (archiveYear <= last) {
    for (int ledger = 0; ledger < static_cast<int>(LedgerSuffixes.size()); ++ledger)
      Visit(
          facts, [ledger, year = archiveYear] { return ArchiveDataSource(ledger, year); }, ++index, visit,
          done);
    // The counter cannot go past its largest value.
    if (archiveYear == std::numeric_limits<std::int16_t>::max()) break;
    ++archiveYear;
  }
  if (!laterYears) return;
  for (const std::int16_t year : laterYears(last)) {
    archiveYear = year;
    for (int ledger = 0; ledger < static_cast<int>(LedgerSuffixes.size()); ++ledger)
      Visit(
          facts, [ledger, year] { return ArchiveDataSource(ledger, year); }, ++index, visit, done);
  }
}

std::vector<std::int16_t> ArchiveYearsAfter(const std::vector<std::string>& names, std::int16_t last) {
  const auto same = [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  };
  std::set<std::int16_t> years;
  for (const std::string& name : names) {
    if (name.size() < 8 || !same(name[0], 'M') || !same(name[1], 'V') || name[6] != '-') continue;
    const bool digits =
        std::all_of(name.begin() + 2, name.begin() + 6, [](char c) { return c >= '0' && c <= '9'; });
    if (!digits) continue;
    int year = 0;
    for (std::size_t i = 2; i < 6; ++i) year = year * 10 + (name[i] - '0');
    const std::string suffix = name.substr(7);
    const bool ledger = std::any_of(LedgerSuffixes.begin(), LedgerSuffixes.end(), [&](const char* known) {
      return suffix.size() == std::char_traits<char>::length(known) &&
             std::equal(suffix.begin(), suffix.end(), known, same);
    });
    if (ledger && year > last && year >= FirstArchiveYear) years.insert(static_cast<std::int16_t>(year));
  }
  return {years.begin(), years.end()};
}
