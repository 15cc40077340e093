// Windows that exist only as their geometry: for runs that nobody watches,
// the terminal, benchmarks and tests. Load handlers run as they would and
// what is set reads back; a window's outer size starts as its client area
// plus a frame of kFrameWidth by kFrameHeight twips. A call on a window that
// is not loaded throws, as a real window layer would. Subclasses say what
// showing, unloading and a message box look like.
#pragma once

#include <map>
#include <string>

#include "platform/Windowing.h"

namespace platform {

class HeadlessWindowing : public Windowing {
 public:
  static constexpr float kFrameWidth = 120;
  static constexpr float kFrameHeight = 405;

  // Loads the start-up window; whatever its load handler leaves open is
  // unloaded after it, since nothing else can happen once it has returned.
  void Run(Form& startup) override {
    Load(startup);
    while (!windows_.empty()) Unload(*const_cast<Form*>(windows_.begin()->first));
  }
  void Show(Form& form) override {
    if (windows_.find(&form) == windows_.end()) Load(form);
    Window& window = Loaded(form, "Show");
    if (window.visible) return;
    window.visible = true;
    Shown(form);
  }
  float Width(const Form& form) override { return Loaded(form, "Width").width; }
  void SetWidth(Form& form, float twips) override { Loaded(form, "SetWidth").width = twips; }
  float Height(const Form& form) override { return Loaded(form, "Height").height; }
  void SetHeight(Form& form, float twips) override { Loaded(form, "SetHeight").height = twips; }
  void SetLeft(Form& form, float twips) override { Loaded(form, "SetLeft").left = twips; }
  void SetTop(Form& form, float twips) override { Loaded(form, "SetTop").top = twips; }
  void Refresh(Form& form) override { Loaded(form, "Refresh"); }
  void Unload(Form& form) override {
    auto it = windows_.find(&form);
    if (it == windows_.end()) return;
    const bool wasVisible = it->second.visible;
    windows_.erase(it);
    if (wasVisible) Unloaded(form);
  }
  int MessageBoxA(const Form*, const char*, const char*, UINT) override { return IDOK; }

 protected:
  // Told once a window has become visible, and once a visible one is gone.
  virtual void Shown(const Form&) {}
  virtual void Unloaded(const Form&) {}

 private:
  struct Window {
    bool visible = false;
    float width = 0, height = 0, left = 0, top = 0;
  };

  void Load(Form& form) {
    const WindowSpec& spec = form.Spec();
    Window window;
    window.width = spec.clientWidth + kFrameWidth;
    window.height = spec.clientHeight + kFrameHeight;
    windows_[&form] = window;
    form.Load();
  }

  Window& Loaded(const Form& form, const char* operation) {
    auto it = windows_.find(&form);
    if (it == windows_.end())
      throw PlatformError(
          std::string(operation) + ": the window \"" + form.Spec().caption + "\" is not loaded",
          ERROR_INVALID_HANDLE);
    return it->second;
  }

  std::map<const Form*, Window> windows_;
};

}  // namespace platform
