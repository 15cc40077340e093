// Windows of the program. Each kind of form has a window class of its own
// with one HandleMessage; the window object is found through the pointer
// stored at WM_NCCREATE. Nothing of the program's logic runs inside a window
// procedure: load handlers run from Run and Show, so that what they throw
// never crosses Windows' frames.
//
// Platform headers first: their names are macros in <windows.h>.
// clang-format off
#include "platform/Windowing.h"
#include "platform/win32/Backend.h"
#include "platform/win32/Units.h"

#include <windows.h>
// clang-format on

#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

// Outside namespace platform: the Windows macros spell HKEY, DWORD and LONG
// unqualified, and mean Windows' own.
namespace {

using namespace platform::win32;

[[noreturn]] void ThrowLastError(const std::string& what) {
  throw platform::PlatformError(what, static_cast<platform::LONG>(::GetLastError()));
}

// The resolution the program's forms were laid out at.
constexpr int kStandardDpi = 96;

struct Dpi {
  int x = kStandardDpi;
  int y = kStandardDpi;
};

Dpi ScreenDpi() {
  Dpi dpi;
  HDC screen = ::GetDC(nullptr);
  if (!screen) ThrowLastError("GetDC");
  dpi.x = ::GetDeviceCaps(screen, LOGPIXELSX);
  dpi.y = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  if (dpi.x <= 0 || dpi.y <= 0) throw platform::PlatformError("GetDeviceCaps", ERROR_INVALID_DATA);
  return dpi;
}

// The font a label asks for. At 96 dpi that is the form's own font. At
// any other resolution a bitmap face such as "MS Sans Serif" would be
// stretched from its nearest size, blurred or jagged; there the font mapper
// is asked for a TrueType face instead, and "MS Sans Serif" becomes
// "Microsoft Sans Serif", the TrueType face drawn after it. A name longer
// than LF_FACESIZE - 1 characters is cut there.
LOGFONTA LabelFont(const platform::FontSpec& spec, int dpiY) {
  LOGFONTA font{};
  font.lfHeight = FontHeight(spec.points, dpiY);
  font.lfWeight = spec.weight;
  font.lfItalic = spec.italic;
  font.lfUnderline = spec.underline;
  font.lfStrikeOut = spec.strikeout;
  font.lfCharSet = static_cast<BYTE>(spec.charset);
  font.lfOutPrecision = OUT_DEFAULT_PRECIS;
  font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  font.lfQuality = DEFAULT_QUALITY;
  font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  std::string face = spec.name;
  if (dpiY != kStandardDpi) {
    font.lfOutPrecision = OUT_TT_PRECIS;
    if (::lstrcmpiA(face.c_str(), "MS Sans Serif") == 0) face = "Microsoft Sans Serif";
  }
  face.copy(font.lfFaceName, LF_FACESIZE - 1);
  return font;
}

struct FontDeleter {
  void operator()(HFONT font) const noexcept { ::DeleteObject(font); }
};
using FontHandle = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

class Win32Windowing;

// What the windowing layer keeps of one form's window.
class FormWindow {
 public:
  FormWindow(Win32Windowing& windowing, platform::Form& form) : windowing_(windowing), form_(form) {}
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;
  // The window is destroyed by the windowing layer before this object goes.
  virtual ~FormWindow() = default;

  HWND Hwnd() const noexcept { return hwnd_; }
  platform::Form& Form() const noexcept { return form_; }
  virtual bool IsMdiFrame() const noexcept { return false; }
  virtual HWND MdiClient() const noexcept { return nullptr; }

  // Creates the window, hidden, owned by owner (none when null). Throws
  // PlatformError when Windows refuses.
  virtual void Create(const Dpi& dpi, HWND owner) = 0;

 protected:
  // Called from the window procedure: the window exists, or is gone.
  void Attached(HWND hwnd) noexcept;
  void Detached() noexcept;

  // The outer size of a window whose client area is the one its form asks for.
  SIZE OuterSize(const Dpi& dpi, DWORD style, DWORD exStyle) const {
    const platform::WindowSpec& spec = form_.Spec();
    RECT rect{0, 0, TwipsToPixels(spec.clientWidth, dpi.x), TwipsToPixels(spec.clientHeight, dpi.y)};
    if (!::AdjustWindowRectEx(&rect, style, FALSE, exStyle)) ThrowLastError("AdjustWindowRectEx");
    return SIZE{rect.right - rect.left, rect.bottom - rect.top};
  }

  static void Register(const char* className, WNDPROC proc, int classBrushColor) {
    WNDCLASSA wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = proc;
    wc.hInstance = ::GetModuleHandleA(nullptr);
    wc.hIcon = ::LoadIconA(nullptr, IDI_APPLICATION);
    wc.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground =
        classBrushColor < 0 ? nullptr : reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(classBrushColor + 1));
    wc.lpszClassName = className;
    if (!::RegisterClassA(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
      ThrowLastError(std::string("RegisterClassA ") + className);
    }
  }

  HWND hwnd_ = nullptr;
  Win32Windowing& windowing_;
  platform::Form& form_;
};

// The LearnWin32 BaseWindow: the window procedure of one class, handing
// each message to Derived::HandleMessage.
template <class Derived>
class BaseWindow : public FormWindow {
 public:
  using FormWindow::FormWindow;

  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    Derived* self = nullptr;
    if (msg == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
      self = static_cast<Derived*>(create->lpCreateParams);
      ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
      self->Attached(hwnd);
    } else {
      self = reinterpret_cast<Derived*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    }
    if (!self) return ::DefWindowProcA(hwnd, msg, wParam, lParam);
    LRESULT result = self->HandleMessage(msg, wParam, lParam);
    if (msg == WM_NCDESTROY) {
      ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
      self->Detached();
    }
    return result;
  }

 protected:
  HWND CreateTopLevel(const char* className, int classBrushColor, DWORD style, DWORD exStyle, const Dpi& dpi,
                      HWND owner) {
    Register(className, &BaseWindow::WindowProc, classBrushColor);
    SIZE size = OuterSize(dpi, style, exStyle);
    HWND hwnd = ::CreateWindowExA(exStyle, className, form_.Spec().caption.c_str(), style, CW_USEDEFAULT,
                                  CW_USEDEFAULT, size.cx, size.cy, owner, nullptr,
                                  ::GetModuleHandleA(nullptr), static_cast<Derived*>(this));
    if (!hwnd) ThrowLastError("CreateWindowExA " + form_.Spec().caption);
    return hwnd;
  }
};

class MdiFrameWindow final : public BaseWindow<MdiFrameWindow> {
 public:
  using BaseWindow::BaseWindow;

  bool IsMdiFrame() const noexcept override { return true; }
  HWND MdiClient() const noexcept override { return client_; }

  void Create(const Dpi& dpi, HWND owner) override {
    constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    HWND frame = CreateTopLevel("MarvaneMdiFrame", COLOR_APPWORKSPACE, kStyle, 0, dpi, owner);

    RECT area;
    ::GetClientRect(frame, &area);
    CLIENTCREATESTRUCT ccs{nullptr, kFirstChildId};
    // No scroll bars: the program never opens a document window in it.
    client_ =
        ::CreateWindowExA(WS_EX_CLIENTEDGE, "MDICLIENT", nullptr, WS_CHILD | WS_CLIPCHILDREN | WS_VISIBLE, 0,
                          0, area.right, area.bottom, frame, nullptr, ::GetModuleHandleA(nullptr), &ccs);
    if (!client_) ThrowLastError("CreateWindowExA MDICLIENT");
    int color = form_.Spec().backgroundSysColor;
    if (color >= 0 && color != COLOR_APPWORKSPACE) {
      ::SetClassLongPtrA(client_, GCLP_HBRBACKGROUND, static_cast<LONG_PTR>(color + 1));
    }
  }

  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    if (msg == WM_NCDESTROY) client_ = nullptr;
    // The frame's default procedure keeps the MDI client filling the frame.
    return ::DefFrameProcA(hwnd_, client_, msg, wParam, lParam);
  }

 private:
  static constexpr UINT kFirstChildId = 0xFF00;
  HWND client_ = nullptr;
};

class PlainWindow final : public BaseWindow<PlainWindow> {
 public:
  using BaseWindow::BaseWindow;

  // A caption and a thin border only: no sizing border, no system menu and
  // so no minimise, maximise or close box. Owned by the main window, it has
  // no taskbar button of its own, stays in front of its owner, and when it
  // goes Windows activates the owner.
  static constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION;

  void Create(const Dpi& dpi, HWND owner) override {
    const platform::WindowSpec& spec = form_.Spec();
    background_ = spec.backgroundSysColor >= 0 ? spec.backgroundSysColor : COLOR_BTNFACE;
    HWND hwnd = CreateTopLevel("MarvaneForm", -1, kStyle, 0, dpi, owner);
    for (const platform::LabelSpec& label : spec.labels) AddLabel(hwnd, label, dpi);
  }

  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
    switch (msg) {
      case WM_ERASEBKGND: {
        RECT area;
        ::GetClientRect(hwnd_, &area);
        ::FillRect(reinterpret_cast<HDC>(wParam), &area, ::GetSysColorBrush(background_));
        return 1;
      }
      case WM_CTLCOLORSTATIC:
        ::SetBkColor(reinterpret_cast<HDC>(wParam), ::GetSysColor(background_));
        return reinterpret_cast<LRESULT>(::GetSysColorBrush(background_));
      case WM_NCDESTROY:
        // The labels are gone by now; their fonts can go too.
        fonts_.clear();
        break;
      default:
        break;
    }
    return ::DefWindowProcA(hwnd_, msg, wParam, lParam);
  }

 private:
  void AddLabel(HWND parent, const platform::LabelSpec& label, const Dpi& dpi) {
    HWND control = ::CreateWindowExA(0, "STATIC", label.text.c_str(), WS_CHILD | WS_VISIBLE | SS_LEFT,
                                     TwipsToPixels(label.left, dpi.x), TwipsToPixels(label.top, dpi.y),
                                     TwipsToPixels(label.width, dpi.x), TwipsToPixels(label.height, dpi.y),
                                     parent, nullptr, ::GetModuleHandleA(nullptr), nullptr);
    if (!control) ThrowLastError("CreateWindowExA STATIC " + label.text);
    const platform::FontSpec& spec = label.font;
    if (spec.name.empty()) return;
    LOGFONTA wanted = LabelFont(spec, dpi.y);
    FontHandle font(::CreateFontIndirectA(&wanted));
    if (!font) ThrowLastError("CreateFontIndirectA " + spec.name);
    ::SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    fonts_.push_back(std::move(font));
  }

  int background_ = COLOR_BTNFACE;
  std::vector<FontHandle> fonts_;
};

class Win32Windowing final : public platform::Windowing {
 public:
  Win32Windowing() = default;
  Win32Windowing(const Win32Windowing&) = delete;
  Win32Windowing& operator=(const Win32Windowing&) = delete;
  ~Win32Windowing() override {
    // Windows still up when the run ends (a load handler threw): take them
    // down before the objects their procedures point to go.
    for (auto& [form, window] : windows_) {
      if (window->Hwnd()) ::DestroyWindow(window->Hwnd());
    }
  }

  void Run(platform::Form& startup) override {
    FormWindow& window = Create(startup);
    startup.Load();
    if (live_ == 0) return;
    // As the start-up form of a Basic program: shown once it has loaded,
    // unless its load handler showed or unloaded it.
    if (window.Hwnd() && !::IsWindowVisible(window.Hwnd())) ::ShowWindow(window.Hwnd(), SW_SHOW);

    looping_ = true;
    MSG msg;
    BOOL got;
    // Ends on the quit message that the last window's going posts, taking
    // it off the queue: left there, it would end the next message box at
    // once.
    while ((got = ::GetMessageA(&msg, nullptr, 0, 0)) != 0) {
      if (got == -1) {
        looping_ = false;
        ThrowLastError("GetMessageA");
      }
      if (HWND client = MdiClient(); client && ::TranslateMDISysAccel(client, &msg)) continue;
      ::TranslateMessage(&msg);
      ::DispatchMessageA(&msg);
    }
    looping_ = false;
  }

  void Show(platform::Form& form) override {
    HWND hwnd = Loaded(form).Hwnd();
    if (hwnd) ::ShowWindow(hwnd, SW_SHOW);
  }

  float Width(const platform::Form& form) override {
    RECT rect = OuterRect(form);
    return PixelsToTwips(rect.right - rect.left, ScreenDpi().x);
  }

  float Height(const platform::Form& form) override {
    RECT rect = OuterRect(form);
    return PixelsToTwips(rect.bottom - rect.top, ScreenDpi().y);
  }

  void SetWidth(platform::Form& form, float twips) override {
    RECT rect = OuterRect(form);
    Place(form, SWP_NOMOVE, 0, 0, TwipsToPixels(twips, ScreenDpi().x), rect.bottom - rect.top);
  }

  void SetHeight(platform::Form& form, float twips) override {
    RECT rect = OuterRect(form);
    Place(form, SWP_NOMOVE, 0, 0, rect.right - rect.left, TwipsToPixels(twips, ScreenDpi().y));
  }

  void SetLeft(platform::Form& form, float twips) override {
    POINT at = Position(form);
    Place(form, SWP_NOSIZE, TwipsToPixels(twips, ScreenDpi().x), at.y, 0, 0);
  }

  void SetTop(platform::Form& form, float twips) override {
    POINT at = Position(form);
    Place(form, SWP_NOSIZE, at.x, TwipsToPixels(twips, ScreenDpi().y), 0, 0);
  }

  void Refresh(platform::Form& form) override {
    HWND hwnd = Loaded(form).Hwnd();
    if (!hwnd) return;
    // Paints now, children included, without going back to the message loop.
    if (!::RedrawWindow(hwnd, nullptr, nullptr,
                        RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW)) {
      ThrowLastError("RedrawWindow");
    }
  }

  void Unload(platform::Form& form) override {
    auto it = windows_.find(&form);
    if (it == windows_.end() || !it->second->Hwnd()) return;
    if (!::DestroyWindow(it->second->Hwnd())) ThrowLastError("DestroyWindow");
  }

  // Windows takes a window whose thread has not called PeekMessage for
  // about five seconds for a hung one and ghosts it. Looking at the queue
  // without removing anything is enough; no input is handled.
  void KeepResponsive() override {
    MSG message;
    ::PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
  }

  int MessageBoxA(const platform::Form* owner, const char* lpText, const char* lpCaption,
                  platform::UINT uType) override {
    return ::MessageBoxA(Owner(owner), lpText, lpCaption, uType);
  }

  // From the window procedures.
  void WindowCreated() noexcept { ++live_; }
  void WindowDestroyed() noexcept {
    if (--live_ == 0 && looping_) ::PostQuitMessage(0);
  }

 private:
  FormWindow& Create(platform::Form& form) {
    auto it = windows_.find(&form);
    if (it != windows_.end()) {
      if (it->second->Hwnd()) return *it->second;
      windows_.erase(it);  // unloaded before: loads anew
    }
    std::unique_ptr<FormWindow> window;
    if (form.Spec().kind == platform::WindowKind::MdiFrame) {
      window = std::make_unique<MdiFrameWindow>(*this, form);
    } else {
      window = std::make_unique<PlainWindow>(*this, form);
    }
    // Every other window belongs to the main window, while there is one.
    HWND owner = window->IsMdiFrame() ? nullptr : MainWindow();
    FormWindow& created = *windows_.emplace(&form, std::move(window)).first->second;
    try {
      created.Create(ScreenDpi(), owner);
    } catch (const platform::PlatformError&) {
      // Half made: take down what exists, then report.
      if (created.Hwnd()) ::DestroyWindow(created.Hwnd());
      windows_.erase(&form);
      throw;
    }
    return created;
  }

  // The form's window, created and its load handler run when it was not.
  FormWindow& Loaded(platform::Form& form) {
    auto it = windows_.find(&form);
    if (it != windows_.end() && it->second->Hwnd()) return *it->second;
    FormWindow& window = Create(form);
    form.Load();
    return window;
  }

  HWND Existing(const platform::Form& form) const {
    auto it = windows_.find(&form);
    if (it == windows_.end() || !it->second->Hwnd()) {
      throw platform::PlatformError("no window for " + form.Spec().caption, ERROR_INVALID_WINDOW_HANDLE);
    }
    return it->second->Hwnd();
  }

  // The form's window, loaded first if it was not; throws when its load
  // handler unloaded it again.
  HWND Window(platform::Form& form) {
    Loaded(form);
    return Existing(form);
  }

  RECT OuterRect(const platform::Form& form) const {
    RECT rect;
    if (!::GetWindowRect(Existing(form), &rect)) ThrowLastError("GetWindowRect");
    return rect;
  }

  // Top-left corner relative to the screen, or to the parent's client area
  // for a child window.
  POINT Position(platform::Form& form) {
    HWND hwnd = Window(form);
    RECT rect;
    if (!::GetWindowRect(hwnd, &rect)) ThrowLastError("GetWindowRect");
    POINT at{rect.left, rect.top};
    if (::GetWindowLongPtrA(hwnd, GWL_STYLE) & WS_CHILD) ::ScreenToClient(::GetParent(hwnd), &at);
    return at;
  }

  void Place(platform::Form& form, UINT keep, int x, int y, int cx, int cy) {
    if (!::SetWindowPos(Window(form), nullptr, x, y, cx, cy, keep | SWP_NOZORDER | SWP_NOACTIVATE)) {
      ThrowLastError("SetWindowPos");
    }
  }

  // The MDI frame window, while it exists.
  HWND MainWindow() const {
    for (auto& [form, window] : windows_) {
      if (window->IsMdiFrame() && window->Hwnd()) return window->Hwnd();
    }
    return nullptr;
  }

  HWND MdiClient() const {
    for (auto& [form, window] : windows_) {
      if (window->IsMdiFrame() && window->Hwnd()) return window->MdiClient();
    }
    return nullptr;
  }

  HWND Owner(const platform::Form* owner) const {
    if (owner) {
      auto it = windows_.find(owner);
      if (it != windows_.end() && it->second->Hwnd()) return it->second->Hwnd();
    }
    for (auto& [form, window] : windows_) {
      if (window->IsMdiFrame() && window->Hwnd() && ::IsWindowVisible(window->Hwnd())) return window->Hwnd();
    }
    return nullptr;
  }

  std::map<const platform::Form*, std::unique_ptr<FormWindow>> windows_;
  int live_ = 0;
  bool looping_ = false;
};

void FormWindow::Attached(HWND hwnd) noexcept {
  hwnd_ = hwnd;
  windowing_.WindowCreated();
}

void FormWindow::Detached() noexcept {
  hwnd_ = nullptr;
  windowing_.WindowDestroyed();
}

}  // namespace

namespace platform::win32 {

std::unique_ptr<platform::Windowing> MakeWindowing() {
  return std::make_unique<Win32Windowing>();
}

}  // namespace platform::win32
