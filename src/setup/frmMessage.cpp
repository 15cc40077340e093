#include "setup/frmMessage.h"

#include <cmath>
#include <stdexcept>

using namespace platform;

float CentredOffset(float outer, float inner) {
  const float offset = (outer - inner) / 2;
  if (!std::isfinite(offset))
    throw std::range_error("the progress window cannot be centred: a window size is not finite");
  return offset;
}

frmMessage::frmMessage(Windowing& windowing, const Form& mainWindow)
    : windowing_(windowing), mainWindow_(mainWindow) {
  spec_.kind = WindowKind::Plain;
  spec_.caption = kCaption;
  spec_.clientWidth = 4620;
  spec_.clientHeight = 2070;

  LabelSpec lblMessage;
  lblMessage.text = kMessage;
  lblMessage.left = 240;
  lblMessage.top = 480;
  lblMessage.width = 4095;
  lblMessage.height = 975;
  lblMessage.font = FontSpec{"MS Sans Serif", 18, 700, 0, false, false, false};
  spec_.labels.push_back(lblMessage);
}

void frmMessage::Form_Load() {
  windowing_.SetHeight(*this, kOuterHeight);
  windowing_.SetWidth(*this, kOuterWidth);

  const float ownWidth = windowing_.Width(*this);
  windowing_.SetLeft(*this, CentredOffset(windowing_.Width(mainWindow_), ownWidth));

  const float ownHeight = windowing_.Height(*this);
  windowing_.SetTop(*this, CentredOffset(windowing_.Height(mainWindow_), ownHeight));
}
