#include "setup/QuietWindowing.h"

void QuietWindowing::Run(platform::Form& startup) {
  Show(startup);
}

void QuietWindowing::Show(platform::Form& form) {
  if (windows_.count(&form) != 0) return;
  const platform::WindowSpec& spec = form.Spec();
  windows_[&form] = {spec.clientWidth, spec.clientHeight};
  form.Load();
}

int QuietWindowing::MessageBoxA(const platform::Form*, const char* lpText, const char* lpCaption,
                                platform::UINT) {
  std::string text = lpText ? lpText : "";
  for (char& c : text)
    if (c == '\n') c = ' ';
  log_.Line(std::string("message \"") + (lpCaption ? lpCaption : "") + "\": " + text);
  return platform::IDOK;
}
