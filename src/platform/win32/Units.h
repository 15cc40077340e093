// Conversions between the program's twips and points and the display's
// pixels. A twip is 1/1440 inch; dpi is the display's pixels per inch along
// the axis in question.
#pragma once

namespace platform::win32 {

inline constexpr int kTwipsPerInch = 1440;

// Pixels for a length in twips, rounded to the nearest pixel (halves away
// from zero).
int TwipsToPixels(float twips, int dpi);

// Twips for a length in pixels, without rounding.
float PixelsToTwips(int pixels, int dpi);

// The lfHeight of a font of the given point size: negative, so that it
// selects by character height rather than cell height.
int FontHeight(float points, int dpi);

}  // namespace platform::win32
