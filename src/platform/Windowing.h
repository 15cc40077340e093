// Windows of the program as the windowing layer sees them. Sizes and
// positions are in twips (1/1440 inch). A window operation that fails throws
// PlatformError; a message box that cannot be shown returns 0.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Registry.h"

namespace platform {

inline constexpr UINT MB_OK = 0x00000000;
inline constexpr int IDOK = 1;

class PlatformError : public std::runtime_error {
 public:
  PlatformError(const std::string& what, LONG code) : std::runtime_error(what), code_(code) {}
  LONG Code() const noexcept { return code_; }

 private:
  LONG code_;
};

struct FontSpec {
  std::string name;
  float points = 0;
  int weight = 400;
  int charset = 0;
  bool italic = false;
  bool underline = false;
  bool strikeout = false;
};

struct LabelSpec {
  std::string text;
  float left = 0, top = 0, width = 0, height = 0;
  FontSpec font;
};

enum class WindowKind { MdiFrame, Plain };

struct WindowSpec {
  WindowKind kind = WindowKind::Plain;
  std::string caption;
  float clientWidth = 0, clientHeight = 0;
  int backgroundSysColor = -1;  // -1: the class default
  std::vector<LabelSpec> labels;
};

// A window of the program: what it looks like and its load handler, which
// the windowing layer runs once, when the window is first loaded.
class Form {
 public:
  virtual ~Form() = default;
  virtual const WindowSpec& Spec() const = 0;
  virtual void Load() = 0;
};

class Windowing {
 public:
  virtual ~Windowing() = default;

  // Creates the start-up window, runs its load handler and returns once no
  // window of the program is left.
  virtual void Run(Form& startup) = 0;

  // Not modal, no owner. A window not yet loaded is created and its load
  // handler runs first.
  virtual void Show(Form& form) = 0;
  virtual float Width(const Form& form) = 0;
  virtual void SetWidth(Form& form, float twips) = 0;
  virtual float Height(const Form& form) = 0;
  virtual void SetHeight(Form& form, float twips) = 0;
  virtual void SetLeft(Form& form, float twips) = 0;
  virtual void SetTop(Form& form, float twips) = 0;
  // Draws the window and its labels before returning.
  virtual void Refresh(Form& form) = 0;
  virtual void Unload(Form& form) = 0;

  // Lets the system see, between long steps, that the program is still
  // alive, so its windows are not taken for hung ones; handles no input.
  virtual void KeepResponsive() {}

  // Modal; returns when the user closes the box (0 when it could not be shown).
  virtual int MessageBoxA(const Form* owner, const char* lpText, const char* lpCaption, UINT uType) = 0;
};

}  // namespace platform
