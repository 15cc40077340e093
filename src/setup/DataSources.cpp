#include "setup/DataSources.h"

#include <exception>
#include <limits>
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
                       const std::function<void(DataSourceResult)>& done) {
  std::size_t index = 0;
  for (int ledger = 0; ledger < static_cast<int>(LedgerSuffixes.size()); ++ledger)
    Visit(facts, [ledger] { return CurrentDataSource(ledger); }, ++index, visit, done);

  const std::int16_t last = facts.LastArchiveYear();
  archiveYear = FirstArchiveYear;
  while (archiveYear <= last) {
    for (int ledger = 0; ledger < static_cast<int>(LedgerSuffixes.size()); ++ledger)
      Visit(facts, [ledger, year = archiveYear] { return ArchiveDataSource(ledger, year); }, ++index, visit,
            done);
    // The counter cannot go past its largest value.
    if (archiveYear == std::numeric_limits<std::int16_t>::max()) break;
    ++archiveYear;
  }
}
