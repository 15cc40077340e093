// The data sources this program registers: five for the current databases
// and five for every archive year.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "odbc/MdlODBC.h"
#include "setup/MachineFacts.h"

// The file server that holds every database.
inline constexpr const char* DataServerName = "VLKDATA01";

inline constexpr std::int16_t FirstArchiveYear = 2002;

// The five ledgers, in the order they are always registered.
inline constexpr std::array<const char*, 5> LedgerSuffixes = {"R", "R1", "S", "S1", "S2"};

// Ledger index 0..4 in the order above.
DataSourceSpec CurrentDataSource(int ledger);
DataSourceSpec ArchiveDataSource(int ledger, std::int16_t archiveYear);

// The year as four digits, zero-padded on the left.
std::string FourDigitYear(std::int16_t year);

// One mode's work on one data source (install, check, removal), given its
// texts and the branch it belongs in.
using DataSourceVisit = std::function<DataSourceResult(const DataSourceSpec&, const MdlODBC::Branch&)>;

// Walks every data source in registration order: the five current ones,
// then five for each archive year from FirstArchiveYear up to the machine's
// last archive year, asked once, after the current ones. archiveYear is the
// loop's counter, kept where the caller wants it. For each data source visit
// runs with the branch the processor identifier chooses (MachineFacts); a
// step that throws (building the texts, or the visit) is abandoned as that
// data source's failure and the walk goes on. Every result goes to done.
// laterYears, when given, names archive years after the last one (given
// it) that are walked too, in the order given.
void ForEachDataSource(MachineFacts& facts, std::int16_t& archiveYear, const DataSourceVisit& visit,
                       const std::function<void(DataSourceResult)>& done,
                       const std::function<std::vector<std::int16_t>(std::int16_t)>& laterYears = nullptr);

// The archive years after last of the data sources named, in ascending
// order: names of the form MV<year>-<ledger>, compared without regard to case.
std::vector<std::int16_t> ArchiveYearsAfter(const std::vector<std::string>& names, std::int16_t last);
