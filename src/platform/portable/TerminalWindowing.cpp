#include "platform/portable/TerminalWindowing.h"

#include <istream>
#include <ostream>
#include <string>

namespace platform::portable {

TerminalWindowing::TerminalWindowing(std::ostream& out, std::istream& in, bool waitForEnter)
    : out_(out), in_(in), waitForEnter_(waitForEnter) {}

TerminalWindowing::Window& TerminalWindowing::Loaded(const Form& form, const char* operation) {
  auto it = windows_.find(&form);
  if (it == windows_.end())
    throw PlatformError(std::string(operation) + ": the window \"" + form.Spec().caption + "\" is not loaded",
                        ERROR_INVALID_HANDLE);
  return it->second;
}

void TerminalWindowing::Load(Form& form) {
  const WindowSpec& spec = form.Spec();
  Window window;
  window.width = spec.clientWidth + kFrameWidth;
  window.height = spec.clientHeight + kFrameHeight;
  windows_[&form] = window;
  form.Load();
}

void TerminalWindowing::Run(Form& startup) {
  Load(startup);
  // Nothing else happens on a terminal once the load handler has returned,
  // so whatever is still open closes here.
  while (!windows_.empty()) Unload(*const_cast<Form*>(windows_.begin()->first));
}

void TerminalWindowing::Show(Form& form) {
  if (windows_.find(&form) == windows_.end()) Load(form);
  Window& window = Loaded(form, "Show");
  if (window.visible) return;
  window.visible = true;
  out_ << "[" << form.Spec().caption << "]";
  for (const LabelSpec& label : form.Spec().labels) out_ << ' ' << label.text;
  out_ << std::endl;
}

float TerminalWindowing::Width(const Form& form) {
  return Loaded(form, "Width").width;
}
void TerminalWindowing::SetWidth(Form& form, float twips) {
  Loaded(form, "SetWidth").width = twips;
}
float TerminalWindowing::Height(const Form& form) {
  return Loaded(form, "Height").height;
}
void TerminalWindowing::SetHeight(Form& form, float twips) {
  Loaded(form, "SetHeight").height = twips;
}
void TerminalWindowing::SetLeft(Form& form, float twips) {
  Loaded(form, "SetLeft").left = twips;
}
void TerminalWindowing::SetTop(Form& form, float twips) {
  Loaded(form, "SetTop").top = twips;
}

void TerminalWindowing::Refresh(Form& form) {
  Loaded(form, "Refresh");
  out_.flush();
}

void TerminalWindowing::Unload(Form& form) {
  auto it = windows_.find(&form);
  if (it == windows_.end()) return;
  if (it->second.visible) out_ << "[" << form.Spec().caption << "] closed" << std::endl;
  windows_.erase(it);
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
