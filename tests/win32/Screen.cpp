#include "Screen.h"

#include <windows.h>

#include <memory>
#include <type_traits>

namespace screen {

namespace {

// The program declares itself DPI aware in its manifest; this test program
// has none, so it says the same at start.
const bool kDpiAware = ::SetProcessDPIAware() != FALSE;

Handle ToHandle(HWND hwnd) {
  return reinterpret_cast<Handle>(hwnd);
}

std::string ClassOf(HWND hwnd) {
  char name[64] = {};
  ::GetClassNameA(hwnd, name, sizeof name);
  return name;
}

bool IsProgramClass(HWND hwnd) {
  const std::string name = ClassOf(hwnd);
  return name == "MarvaneMdiFrame" || name == "MarvaneForm";
}

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(hwnd);
  return TRUE;
}

std::vector<HWND> ThreadWindows() {
  std::vector<HWND> windows;
  ::EnumThreadWindows(::GetCurrentThreadId(), &CollectWindow, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

HWND Find(const std::string& caption) {
  for (HWND hwnd : ThreadWindows()) {
    char text[256] = {};
    ::GetWindowTextA(hwnd, text, sizeof text);
    if (caption == text && IsProgramClass(hwnd)) return hwnd;
  }
  return nullptr;
}

HWND FirstLabel(HWND window) {
  return window ? ::FindWindowExA(window, nullptr, "STATIC", nullptr) : nullptr;
}

struct DcDeleter {
  void operator()(HDC dc) const noexcept { ::DeleteDC(dc); }
};
struct BitmapDeleter {
  void operator()(HBITMAP bitmap) const noexcept { ::DeleteObject(bitmap); }
};

// The boxes seen while a BoxCloser runs.
struct BoxLog {
  bool active = false;
  std::vector<Handle> owners;
  std::vector<HWND> closed;
};

BoxLog& Boxes() {
  static BoxLog log;
  return log;
}

void CALLBACK CloseBoxes(HWND, UINT, UINT_PTR, DWORD) {
  BoxLog& log = Boxes();
  if (!log.active) return;
  for (HWND hwnd : ThreadWindows()) {
    if (ClassOf(hwnd) != "#32770" || !::IsWindowVisible(hwnd)) continue;
    bool seen = false;
    for (HWND closed : log.closed) seen = seen || closed == hwnd;
    if (seen) continue;
    log.closed.push_back(hwnd);
    log.owners.push_back(ToHandle(::GetWindow(hwnd, GW_OWNER)));
    ::PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
  }
}

}  // namespace

int ScreenDpi() {
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return dpi;
}

int ProgramWindowCount() {
  int count = 0;
  for (HWND hwnd : ThreadWindows()) count += IsProgramClass(hwnd) ? 1 : 0;
  return count;
}

WindowFacts Window(const std::string& caption) {
  WindowFacts facts;
  HWND hwnd = Find(caption);
  if (!hwnd) return facts;
  const LONG_PTR style = ::GetWindowLongPtrA(hwnd, GWL_STYLE);
  const LONG_PTR exStyle = ::GetWindowLongPtrA(hwnd, GWL_EXSTYLE);
  facts.hwnd = ToHandle(hwnd);
  facts.owner = ToHandle(::GetWindow(hwnd, GW_OWNER));
  facts.visible = ::IsWindowVisible(hwnd) != FALSE;
  facts.caption = (style & WS_CAPTION) == WS_CAPTION;
  facts.sizingBorder = (style & WS_THICKFRAME) != 0;
  facts.systemMenu = (style & WS_SYSMENU) != 0;
  facts.minimizeBox = (style & WS_MINIMIZEBOX) != 0;
  facts.maximizeBox = (style & WS_MAXIMIZEBOX) != 0;
  facts.appWindow = (exStyle & WS_EX_APPWINDOW) != 0;
  return facts;
}

FontFacts LabelFont(const std::string& caption) {
  FontFacts facts;
  HWND label = FirstLabel(Find(caption));
  if (!label) return facts;
  auto font = reinterpret_cast<HFONT>(::SendMessageA(label, WM_GETFONT, 0, 0));
  LOGFONTA logical{};
  if (!font || !::GetObjectA(font, sizeof logical, &logical)) return facts;
  facts.face = logical.lfFaceName;
  facts.height = logical.lfHeight;
  facts.weight = logical.lfWeight;
  facts.charset = logical.lfCharSet;
  HDC dc = ::GetDC(label);
  HGDIOBJ old = ::SelectObject(dc, font);
  TEXTMETRICA metrics{};
  if (::GetTextMetricsA(dc, &metrics)) facts.trueType = (metrics.tmPitchAndFamily & TMPF_TRUETYPE) != 0;
  ::SelectObject(dc, old);
  ::ReleaseDC(label, dc);
  return facts;
}

int LabelTextPixels(const std::string& caption) {
  // The label itself is printed: what Windows' PrintWindow does for child
  // windows of the printed window varies (Wine leaves them out).
  HWND label = FirstLabel(Find(caption));
  if (!label) return -1;
  RECT area;
  ::GetClientRect(label, &area);

  HDC screen = ::GetDC(nullptr);
  std::unique_ptr<std::remove_pointer_t<HDC>, DcDeleter> memory(::CreateCompatibleDC(screen));
  std::unique_ptr<std::remove_pointer_t<HBITMAP>, BitmapDeleter> bitmap(
      ::CreateCompatibleBitmap(screen, area.right, area.bottom));
  ::ReleaseDC(nullptr, screen);
  if (!memory || !bitmap) return -1;
  HGDIOBJ old = ::SelectObject(memory.get(), bitmap.get());
  int pixels = -1;
  if (::PrintWindow(label, memory.get(), 0)) {
    const COLORREF background = ::GetPixel(memory.get(), 0, 0);
    pixels = 0;
    for (int y = 0; y < area.bottom; ++y) {
      for (int x = 0; x < area.right; ++x) pixels += ::GetPixel(memory.get(), x, y) != background ? 1 : 0;
    }
  }
  ::SelectObject(memory.get(), old);
  return pixels;
}

bool QuitPending() {
  MSG msg;
  return ::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != FALSE;
}

void PostClose(const std::string& caption) {
  if (HWND hwnd = Find(caption)) ::PostMessageA(hwnd, WM_CLOSE, 0, 0);
}

BoxCloser::BoxCloser() {
  Boxes() = BoxLog{true, {}, {}};
  timer_ = ::SetTimer(nullptr, 0, 100, &CloseBoxes);
}

BoxCloser::~BoxCloser() {
  ::KillTimer(nullptr, timer_);
  Boxes().active = false;
}

std::vector<Handle> BoxCloser::Owners() const {
  return Boxes().owners;
}

}  // namespace screen
