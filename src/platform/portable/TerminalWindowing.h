// Windows on a terminal: each window and message box is a line on standard
// output when it is shown and when it is unloaded.
#pragma once

#include <istream>
#include <ostream>
#include <string>

#include "platform/HeadlessWindowing.h"

namespace platform::portable {

class TerminalWindowing : public HeadlessWindowing {
 public:
  // Message boxes wait for Enter on input only when waitForEnter is set.
  TerminalWindowing(std::ostream& out, std::istream& in, bool waitForEnter)
      : out_(out), in_(in), waitForEnter_(waitForEnter) {}

  void Refresh(Form& form) override {
    HeadlessWindowing::Refresh(form);
    out_.flush();
  }

  int MessageBoxA(const Form*, const char* lpText, const char* lpCaption, UINT) override {
    out_ << "[" << (lpCaption ? lpCaption : "Error") << "] ";
    for (const char* c = lpText ? lpText : ""; *c; ++c) out_ << *c << (*c == '\n' ? "    " : "");
    out_ << "  [OK]" << std::endl;
    std::string line;
    if (waitForEnter_) std::getline(in_, line);
    return IDOK;
  }

 protected:
  void Shown(const Form& form) override {
    out_ << "[" << form.Spec().caption << "]";
    for (const LabelSpec& label : form.Spec().labels) out_ << ' ' << label.text;
    out_ << std::endl;
  }
  void Unloaded(const Form& form) override { out_ << "[" << form.Spec().caption << "] closed" << std::endl; }

 private:
  std::ostream& out_;
  std::istream& in_;
  bool waitForEnter_;
};

}  // namespace platform::portable
