#include "setup/Outcome.h"

// Switches without a default, so that a new verdict cannot be left out.
bool Succeeded(Verdict verdict) {
  switch (verdict) {
    case Verdict::Registered:
    case Verdict::AlreadyPresent:
    case Verdict::Completed:
    case Verdict::Removed:
    case Verdict::Absent:
    case Verdict::Present:
    case Verdict::Usable:
      return true;
    case Verdict::Missing:
    case Verdict::Left:
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
  if (result.verdict == Verdict::AlreadyPresent) text += ", left as it is";
  // The word log viewers highlight, on the lines that make the exit status 1
  // of an install or a removal. A detection's "missing" is its answer, not a fault.
  if (result.verdict == Verdict::Failed || result.verdict == Verdict::Left) text += ": error";
  if (!result.detail.empty()) text += ": " + result.detail;
  return text;
}

void Outcome::Add(DataSourceResult result) {
  ++attempted_;
  ++counts_[result.verdict];
  if (!Succeeded(result.verdict)) unsuccessful_.push_back(std::move(result.name));
}

std::string Outcome::Incomplete(const char* run, const char* notDone, const char* advice) const {
  std::string text = std::string(run) + " did not complete: " + std::to_string(unsuccessful_.size()) +
                     " of " + std::to_string(attempted_) + " data sources " + notDone + ":\n";
  const std::size_t shown = unsuccessful_.size() < kNamesShown ? unsuccessful_.size() : kNamesShown;
  for (std::size_t i = 0; i < shown; ++i) text += "\n" + unsuccessful_[i];
  if (unsuccessful_.size() > shown) text += "\nand " + std::to_string(unsuccessful_.size() - shown) + " more";
  return text + "\n\n" + advice;
}

std::string Outcome::Message() const {
  switch (mode_) {
    case Mode::Remove:
      if (Complete()) return kRemovalCompleteMessage;
      return Incomplete("Removal", "were not removed",
                        "Data sources changed by hand are left as they are; the log says why. Fix any "
                        "other cause (for example, run as an administrator) and run the removal again.");
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
    text += separator + std::to_string(count) + " " + VerdictName(verdict);
    separator = ", ";
  }
  return text;
}
