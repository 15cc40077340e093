// Windows that nobody sees: for a run with nobody at the screen. Load
// handlers run as they would, sizes set read back, and a message box is a
// line of the log instead of a wait for a click that cannot come.
#pragma once

#include "platform/HeadlessWindowing.h"
#include "setup/RunLog.h"

class QuietWindowing : public platform::HeadlessWindowing {
 public:
  explicit QuietWindowing(RunLog& log) : log_(log) {}

  int MessageBoxA(const platform::Form* owner, const char* lpText, const char* lpCaption,
                  platform::UINT uType) override;

 private:
  RunLog& log_;
};
