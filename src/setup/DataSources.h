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
#include "setup/Outcome.h"
#include "setup/RunLog.h"

// The file server that holds every database: a constant of the program,
// set when it is built (MARVANE_DATA_SERVER, "VLKDATA01" unless the build
// names another; see DataServer.cpp).
extern const char* const DataServerName;

inline constexpr std::int16_t FirstArchiveYear = 2002;

// The five ledgers, in the order they are always registered.
inline constexpr std::array<const char*, 5> LedgerSuffixes = {"R", "R1", "S", "S1", "S2"};

// Ledger index 0..4 in the order above.
DataSourceSpec CurrentDataSource(int ledger);
DataSourceSpec ArchiveDataSource(int ledger, std::int16_t archiveYear);

// The year as four digits, zero-padded on the left.
std::string FourDigitYear(std::int16_t year);

// One mode's work on one data source (install, check, verification,
// removal), given its texts and the branch it belongs in.
using DataSourceVisit = std::function<DataSourceResult(const DataSourceSpec&, const MdlODBC::Branch&)>;
// Archive years after the last one (given it) that a mode walks too, in the order given.
using LaterYears = std::function<std::vector<std::int16_t>(std::int16_t)>;

// The walk of every mode. Visits every data source in registration order:
// the five current ones, then five for each archive year from
// FirstArchiveYear up to the machine's last archive year, asked once, after
// the current ones, then those of laterYears when given. archiveYear is the
// loop's counter, kept where the caller wants it. For each data source
// visit runs with the branch the processor identifier chooses
// (MachineFacts); a step that throws (building the texts, or the visit) is
// abandoned as that data source's failure and the walk goes on. Each result
// is a line of log (when given), is added to outcome, and is then handed to
// after (when given).
void ForEachDataSource(MachineFacts& facts, std::int16_t& archiveYear, const DataSourceVisit& visit,
                       RunLog* log, Outcome& outcome,
                       const std::function<void(const DataSourceResult&)>& after = nullptr,
                       const LaterYears& laterYears = nullptr);

// The archive years after last of the data sources named, in ascending
// order: names of the form MV<year>-<ledger>, compared without regard to case.
std::vector<std::int16_t> ArchiveYearsAfter(const std::vector<std::string>& names, std::int16_t last);
