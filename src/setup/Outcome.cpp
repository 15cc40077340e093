#include "setup/Outcome.h"

std::string Outcome::Message() const {
  if (Complete()) return kCompleteMessage;

  std::string text = "Setup did not complete: " + std::to_string(failed_.size()) + " of " +
                     std::to_string(attempted_) + " data sources could not be registered:\n";
  const std::size_t shown = failed_.size() < kNamesShown ? failed_.size() : kNamesShown;
  for (std::size_t i = 0; i < shown; ++i) text += "\n" + failed_[i];
  if (failed_.size() > shown) text += "\nand " + std::to_string(failed_.size() - shown) + " more";
  text +=
      "\n\nFix the cause (for example, run this setup as an administrator) and run it again. "
      "Data sources that are already registered are left as they are.";
  return text;
}
