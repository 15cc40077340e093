// What the data sources of one run came to, and how that is told.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "odbc/MdlODBC.h"
#include "setup/CommandLine.h"

// Whether the data source is as the run meant to leave it.
bool Succeeded(Verdict verdict);
// "registered", "already present", …
const char* VerdictName(Verdict verdict);
// One line of the log: "Marvane-R: registered", "MV2002-S: failed: error: ...".
std::string Describe(const DataSourceResult& result);

// The results of one run in one mode.
class Outcome {
 public:
  explicit Outcome(Mode mode = Mode::Install) : mode_(mode) {}

  // The one place where a data source's result is counted for the run.
  void Add(DataSourceResult result);

  bool Complete() const { return unsuccessful_.empty(); }
  std::size_t Attempted() const { return attempted_; }
  // The data sources that did not end as meant, in run order.
  const std::vector<std::string>& FailedNames() const { return unsuccessful_; }

  // The text of the message box that ends an install or a removal.
  std::string Message() const;
  // The counts of every verdict that occurred, e.g. "125 data sources: 120 registered, 5 already present".
  std::string Summary() const;
  // 0 when every data source is as meant, 1 when any is not.
  int ExitStatus() const { return Complete() ? 0 : 1; }

  static constexpr const char* kCompleteMessage = "Setup Complete - DO NOT run this setup again.";
  static constexpr const char* kRemovalCompleteMessage =
      "Removal Complete - the Marvane data sources are no longer registered on this workstation.";
  static constexpr std::size_t kNamesShown = 10;

 private:
  // "<run> did not complete: N of M data sources <notDone>:", the first
  // names, and the advice.
  std::string Incomplete(const char* run, const char* notDone, const char* advice) const;

  Mode mode_;
  std::size_t attempted_ = 0;
  std::map<Verdict, std::size_t> counts_;  // in the order verdicts are declared
  std::vector<std::string> unsuccessful_;
};
