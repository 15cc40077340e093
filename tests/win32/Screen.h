// What the windowing tests look at on the display, through direct Windows
// calls kept apart so that the tests keep the platform names (<windows.h> is
// not included here). Windows are found by caption among the top-level
// windows of the calling thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace screen {

// A window handle as a number; 0 for none.
using Handle = std::uintptr_t;

struct WindowFacts {
  Handle hwnd = 0;
  Handle owner = 0;
  bool visible = false;
  bool caption = false;
  bool sizingBorder = false;
  bool systemMenu = false;  // and with it the close box
  bool minimizeBox = false;
  bool maximizeBox = false;
  bool appWindow = false;  // WS_EX_APPWINDOW: a taskbar button even when owned
};

struct FontFacts {
  std::string face;
  int height = 0;  // lfHeight
  int weight = 0;
  int charset = -1;
  bool trueType = false;
};

// The display's pixels per logical inch, vertically.
int ScreenDpi();

// Top-level windows of this thread of the program's window classes.
int ProgramWindowCount();

WindowFacts Window(const std::string& caption);

// The font of the first label of the window.
FontFacts LabelFont(const std::string& caption);

// Pixels of the window's first label that differ from the colour of its
// top-left corner, in a PrintWindow capture of the label; -1 when the
// window, its label or the capture is missing.
int LabelTextPixels(const std::string& caption);

// Whether this thread's message queue holds a quit message.
bool QuitPending();

// Asks the window to close, through the message queue.
void PostClose(const std::string& caption);

// While it exists, closes every message box of this thread soon after it
// appears (as the OK button does), noting the box's owner.
class BoxCloser {
 public:
  BoxCloser();
  ~BoxCloser();
  BoxCloser(const BoxCloser&) = delete;
  BoxCloser& operator=(const BoxCloser&) = delete;
  std::vector<Handle> Owners() const;

 private:
  std::uintptr_t timer_ = 0;
};

}  // namespace screen
