// Windows on a terminal: each window and message box is a line on standard
// output when it is shown and when it is unloaded.
#pragma once

#include <iosfwd>

#include "platform/HeadlessWindowing.h"

namespace platform::portable {

class TerminalWindowing : public HeadlessWindowing {
 public:
  // Message boxes wait for Enter on input only when waitForEnter is set.
  TerminalWindowing(std::ostream& out, std::istream& in, bool waitForEnter)
      : out_(out), in_(in), waitForEnter_(waitForEnter) {}

  void Refresh(Form& form) override;
  int MessageBoxA(const Form* owner, const char* lpText, const char* lpCaption, UINT uType) override;

 protected:
  void Shown(const Form& form) override;
  void Unloaded(const Form& form) override;

 private:
  std::ostream& out_;
  std::istream& in_;
  bool waitForEnter_;
};

}  // namespace platform::portable
