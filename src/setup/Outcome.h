// What the data sources of one run came to, and how that is told.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "odbc/MdlODBC.h"
#include "setup/CommandLine.h"

// Whether the data source is as a run in this mode meant to leave it. A
// data source left because it is not this program's is the one verdict
// whose meaning depends on the mode: a removal is done when every data
// source that is this program's is gone, so one left is not a failure
// there; an install or a repair did not make it what this program writes.
bool Succeeded(Mode mode, Verdict verdict);
// "registered", "already present", …
const char* VerdictName(Verdict verdict);
// One line of the log: "Marvane-R: registered", "MV2002-S: failed: error:
// ...". A data source left on purpose says "warning:", a failure "error:"
// (the words log viewers such as CMTrace colour); no other line of a run
// says either.
std::string Describe(const DataSourceResult& result);

class Outcome {
 public:
  explicit Outcome(Mode mode = Mode::Install) : mode_(mode) {}

  // The one place where a data source's result is counted for the run.
  void Add(DataSourceResult result);

  bool Complete() const { return unsuccessful_.empty(); }
  std::size_t Attempted() const { return attempted_; }
  // The data sources that did not end as meant, in run order.
  const std::vector<std::string>& FailedNames() const { return unsuccessful_; }

  // The text of the message box that ends an install, a removal or a repair.
  std::string Message() const;
  // The counts of every verdict that occurred, e.g. "125 data sources: 120 registered, 5 already present".
  std::string Summary() const;
  // 0 when every data source is as meant, 1 when any is not.
  int ExitStatus() const { return Complete() ? 0 : 1; }

  static constexpr const char* kCompleteMessage = "Setup Complete - DO NOT run this setup again.";
  static constexpr const char* kRemovalCompleteMessage =
      "Removal Complete - the Marvane data sources are no longer registered on this workstation.";
  static constexpr const char* kRepairCompleteMessage =
      "Repair Complete - every Marvane data source is as this setup writes it.";
  static constexpr std::size_t kNamesShown = 10;

 private:
  // "<run> did not complete: N of M data sources <notDone>:", the first
  // names, and the advice.
  std::string Incomplete(const char* run, const char* notDone, const char* advice) const;
  // The first names of names, then how many more.
  static std::string Names(const std::vector<std::string>& names);

  Mode mode_;
  std::size_t attempted_ = 0;
  std::map<Verdict, std::size_t> counts_;  // in the order verdicts are declared
  std::vector<std::string> unsuccessful_;
  std::vector<std::string> left_;  // left as they are, though that was no failure
};
