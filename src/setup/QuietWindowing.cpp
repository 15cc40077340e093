#include "setup/QuietWindowing.h"

int QuietWindowing::MessageBoxA(const platform::Form*, const char* lpText, const char* lpCaption,
                                platform::UINT) {
  std::string text = lpText ? lpText : "";
  for (char& c : text)
    if (c == '\n') c = ' ';
  log_.Line(std::string("message \"") + (lpCaption ? lpCaption : "") + "\": " + text);
  return platform::IDOK;
}
