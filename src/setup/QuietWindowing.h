// Windows that nobody sees: for a run with nobody at the screen. Load
// handlers run as they would, sizes set read back, and a message box is a
// line of the log instead of a wait for a click that cannot come.
#pragma once

#include <map>

#include "platform/Windowing.h"
#include "setup/RunLog.h"

class QuietWindowing : public platform::Windowing {
 public:
  explicit QuietWindowing(RunLog& log) : log_(log) {}

  void Run(platform::Form& startup) override;
  void Show(platform::Form& form) override;
  float Width(const platform::Form& form) override { return windows_[&form].width; }
  void SetWidth(platform::Form& form, float twips) override { windows_[&form].width = twips; }
  float Height(const platform::Form& form) override { return windows_[&form].height; }
  void SetHeight(platform::Form& form, float twips) override { windows_[&form].height = twips; }
  void SetLeft(platform::Form&, float) override {}
  void SetTop(platform::Form&, float) override {}
  void Refresh(platform::Form&) override {}
  void Unload(platform::Form& form) override { windows_.erase(&form); }
  int MessageBoxA(const platform::Form* owner, const char* lpText, const char* lpCaption,
                  platform::UINT uType) override;

 private:
  struct Window {
    float width = 0, height = 0;
  };

  RunLog& log_;
  std::map<const platform::Form*, Window> windows_;
};
