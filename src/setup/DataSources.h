// The data sources this program registers: five for the current databases
// and five for every archive year.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

// The file server that holds every database.
inline constexpr const char* DataServerName = "VLKDATA01";

inline constexpr std::int16_t FirstArchiveYear = 2002;

struct DataSourceSpec {
  std::string name;
  std::string path;
  std::string description;
};

// The five ledgers, in the order they are always registered.
inline constexpr std::array<const char*, 5> LedgerSuffixes = {"R", "R1", "S", "S1", "S2"};

// Ledger index 0..4 in the order above.
DataSourceSpec CurrentDataSource(int ledger);
DataSourceSpec ArchiveDataSource(int ledger, std::int16_t archiveYear);

// The year as four digits, zero-padded on the left.
std::string FourDigitYear(std::int16_t year);

// Walks every data source in registration order: the five current ones,
// then five for each archive year from FirstArchiveYear up to the year
// lastArchiveYear gives (asked once, after the current ones). visit gets a
// builder of each one's texts; archiveYear is the loop's counter, kept where
// the caller wants it. Install, detection and removal all walk this way.
void ForEachDataSource(std::int16_t& archiveYear, const std::function<std::int16_t()>& lastArchiveYear,
                       const std::function<void(const std::function<DataSourceSpec()>&)>& visit);
