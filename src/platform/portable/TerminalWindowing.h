// Windows on a terminal: each window and message box is a line on standard
// output when it is shown and when it is unloaded. Geometry is kept in twips
// so that what is set reads back; a window's outer size is its client area
// plus kFrameWidth by kFrameHeight.
#pragma once

#include <iosfwd>
#include <map>

#include "platform/Windowing.h"

namespace platform::portable {

class TerminalWindowing : public Windowing {
 public:
  // Message boxes wait for Enter on input only when waitForEnter is set.
  TerminalWindowing(std::ostream& out, std::istream& in, bool waitForEnter);

  void Run(Form& startup) override;
  void Show(Form& form) override;
  float Width(const Form& form) override;
  void SetWidth(Form& form, float twips) override;
  float Height(const Form& form) override;
  void SetHeight(Form& form, float twips) override;
  void SetLeft(Form& form, float twips) override;
  void SetTop(Form& form, float twips) override;
  void Refresh(Form& form) override;
  void Unload(Form& form) override;
  int MessageBoxA(const Form* owner, const char* lpText, const char* lpCaption, UINT uType) override;

  // The frame and title bar of a window, in twips.
  static constexpr float kFrameWidth = 120;
  static constexpr float kFrameHeight = 405;

 private:
  struct Window {
    bool visible = false;
    float width = 0, height = 0, left = 0, top = 0;
  };
  Window& Loaded(const Form& form, const char* operation);
  void Load(Form& form);

  std::ostream& out_;
  std::istream& in_;
  bool waitForEnter_;
  std::map<const Form*, Window> windows_;
};

}  // namespace platform::portable
