#include "platform/portable/TerminalWindowing.h"

#include <istream>
#include <ostream>
#include <string>

namespace platform::portable {

void TerminalWindowing::Shown(const Form& form) {
  out_ << "[" << form.Spec().caption << "]";
  for (const LabelSpec& label : form.Spec().labels) out_ << ' ' << label.text;
  out_ << std::endl;
}

void TerminalWindowing::Unloaded(const Form& form) {
  out_ << "[" << form.Spec().caption << "] closed" << std::endl;
}

void TerminalWindowing::Refresh(Form& form) {
  HeadlessWindowing::Refresh(form);
  out_.flush();
}

int TerminalWindowing::MessageBoxA(const Form*, const char* lpText, const char* lpCaption, UINT) {
  out_ << "[" << (lpCaption ? lpCaption : "Error") << "] ";
  for (const char* c = lpText ? lpText : ""; *c; ++c) {
    out_ << *c;
    if (*c == '\n') out_ << "    ";
  }
  out_ << "  [OK]" << std::endl;
  if (waitForEnter_) {
    std::string line;
    std::getline(in_, line);
  }
  return IDOK;
}

}  // namespace platform::portable
