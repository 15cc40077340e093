// The progress window: a small window that asks the user to wait while the
// data sources are registered, centred on the main window.
#pragma once

#include "platform/Windowing.h"

class frmMessage : public platform::Form {
 public:
  frmMessage(platform::Windowing& windowing, const platform::Form& mainWindow);

  const platform::WindowSpec& Spec() const override { return spec_; }
  void Load() override { Form_Load(); }

  void Form_Load();

  static constexpr const char* kCaption = "Searching";
  static constexpr const char* kMessage = "   ***  Installing  ***   ***  Please Wait  ***";
  static constexpr float kOuterWidth = 4740;
  static constexpr float kOuterHeight = 2475;

 private:
  platform::Windowing& windowing_;
  const platform::Form& mainWindow_;
  platform::WindowSpec spec_;
};

// Where a window of the given size starts so that it is centred within the
// outer size; throws when the result is not a finite number.
float CentredOffset(float outer, float inner);
