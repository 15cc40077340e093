#include "setup/DataSources.h"

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

void ForEachDataSource(std::int16_t& archiveYear, const std::function<std::int16_t()>& lastArchiveYear,
                       const std::function<void(const std::function<DataSourceSpec()>&)>& visit) {
  for (int ledger = 0; ledger < static_cast<int>(LedgerSuffixes.size()); ++ledger)
    visit([ledger] { return CurrentDataSource(ledger); });

  const std::int16_t last = lastArchiveYear();
  archiveYear = FirstArchiveYear;
  while (archiveYear <= last) {
    for (int ledger = 0; ledger < static_cast<int>(LedgerSuffixes.size()); ++ledger)
      visit([ledger, year = archiveYear] { return ArchiveDataSource(ledger, year); });
    // The counter cannot go past its largest value.
    if (archiveYear == std::numeric_limits<std::int16_t>::max()) break;
    ++archiveYear;
  }
}
