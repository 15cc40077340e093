#include "setup/Outcome.h"

// Switches without a default, so that a new verdict cannot be left out.
bool Succeeded(Mode mode, Verdict verdict) {
  switch (verdict) {
    case Verdict::Registered:
    case Verdict::AlreadyPresent:
    case Verdict::Completed:
    case Verdict::Removed:
    case Verdict::Absent:
    case Verdict::Present:
    case Verdict::Repaired:
    case Verdict::Exact:
    case Verdict::Usable:
      return true;
    case Verdict::Left:
      return mode == Mode::Remove;
    case Verdict::Missing:
    case Verdict::Failed:
    case Verdict::Unusable:
      return false;
  }
  return false;
}

const char* VerdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::Registered:
      return "registered";
    case Verdict::AlreadyPresent:
      return "already present";
    case Verdict::Completed:
      return "completed";
    case Verdict::Removed:
      return "removed";
    case Verdict::Absent:
      return "absent";
    case Verdict::Present:
      return "present";
    case Verdict::Missing:
      return "missing";
    case Verdict::Repaired:
      return "repaired";
    case Verdict::Exact:
      return "exact";
    case Verdict::Left:
      return "left";
    case Verdict::Failed:
      return "failed";
    case Verdict::Usable:
      return "ok";
    case Verdict::Unusable:
      return "error";
  }
  return "?";
}

std::string Describe(const DataSourceResult& result) {
  std::string text = result.name + ": " + VerdictName(result.verdict);
  if (result.verdict == Verdict::AlreadyPresent || result.verdict == Verdict::Exact)
    text += ", left as it is";
  // The words log viewers highlight. A detection's "missing" is its answer,
  // not a fault; a verification's "error" is its verdict already.
  if (result.verdict == Verdict::Left) text += ": warning";
  if (result.verdict == Verdict::Failed) text += ": error";
  if (!result.detail.empty()) text += ": " + result.detail;
  return text;
}

void Outcome::Add(DataSourceResult result) {
  ++attempted_;
  ++counts_[result.verdict];
  if (!Succeeded(mode_, result.verdict))
    unsuccessful_.push_back(std::move(result.name));
  else if (result.verdict == Verdict::Left)
    left_.push_back(std::move(result.name));
}

std::string Outcome::Names(const std::vector<std::string>& names) {
  std::string text;
  const std::size_t shown = names.size() < kNamesShown ? names.size() : kNamesShown;
  for (std::size_t i = 0; i < shown; ++i) text += "\n" + names[i];
  if (names.size() > shown) text += "\nand " + std::to_string(names.size() - shown) + " more";
  return text;
}

std::string Outcome::Incomplete(const char* run, const char* notDone, const char* advice) const {
  return std::string(run) + " did not complete: " + std::to_string(unsuccessful_.size()) + " of " +
         std::to_string(attempted_) + " data sources " + notDone + ":\n" + Names(unsuccessful_) + "\n\n" +
         advice;
}

std::string Outcome::Message() const {
  switch (mode_) {
    case Mode::Remove:
      if (!Complete())
        return Incomplete("Removal", "could not be removed",
                          "Fix the cause (for example, run as an administrator) and run the removal again.");
      if (left_.empty()) return kRemovalCompleteMessage;
      return "Removal Complete. " + std::to_string(left_.size()) + " of " + std::to_string(attempted_) +
             " data sources were changed by hand and are left as they are (the log says how):\n" +
             Names(left_) + "\n\nTo remove them too, run MarvaneSetup /repair, then the removal again.";
    case Mode::Repair:
      if (Complete()) return kRepairCompleteMessage;
      return Incomplete("Repair", "are not as this setup writes them",
                        "Values and keys this setup does not write are never deleted; the log names them. "
                        "Remove them by hand, or fix the cause (for example, run as an administrator), "
                        "and run the repair again.");
    case Mode::Install:
    case Mode::Check:
    case Mode::Verify:
    case Mode::Help:
    case Mode::Invalid:
      break;
  }
  if (Complete()) return kCompleteMessage;
  return Incomplete("Setup", "could not be registered",
                    "Fix the cause (for example, run this setup as an administrator) and run it again. "
                    "Data sources that are already registered are left as they are.");
}

std::string Outcome::Summary() const {
  std::string text = std::to_string(attempted_) + " data sources";
  const char* separator = ": ";
  for (const auto& [verdict, count] : counts_) {
    // The summary says no "error": it is a count, not a failure of its own.
    const char* name = verdict == Verdict::Unusable ? "not usable" : VerdictName(verdict);
    text += separator + std::to_string(count) + " " + name;
    separator = ", ";
  }
  return text;
}
