#include <gtest/gtest.h>

#include <cmath>

#include "platform/win32/Units.h"

namespace {

using platform::win32::FontHeight;
using platform::win32::PixelsToTwips;
using platform::win32::TwipsToPixels;

TEST(TwipsToPixels, WholeInchesGiveTheDisplayResolution) {
  for (int dpi : {72, 96, 120, 144, 192}) {
    EXPECT_EQ(TwipsToPixels(1440, dpi), dpi) << dpi;
    EXPECT_EQ(TwipsToPixels(3 * 1440, dpi), 3 * dpi) << dpi;
    EXPECT_EQ(TwipsToPixels(0, dpi), 0) << dpi;
  }
}

TEST(TwipsToPixels, RoundsToTheNearestPixel) {
  // At 96 dpi a pixel is 15 twips.
  EXPECT_EQ(TwipsToPixels(7, 96), 0);
  EXPECT_EQ(TwipsToPixels(7.5f, 96), 1);
  EXPECT_EQ(TwipsToPixels(22, 96), 1);
  EXPECT_EQ(TwipsToPixels(23, 96), 2);
  EXPECT_EQ(TwipsToPixels(-7.5f, 96), -1);
  EXPECT_EQ(TwipsToPixels(-22, 96), -1);
  // The main window's client area: 6285 x 3765 twips.
  EXPECT_EQ(TwipsToPixels(6285, 96), 419);
  EXPECT_EQ(TwipsToPixels(3765, 96), 251);
  EXPECT_EQ(TwipsToPixels(6285, 120), 524);  // 523.75
  EXPECT_EQ(TwipsToPixels(3765, 120), 314);  // 313.75
}

TEST(PixelsToTwips, IsExactAndUndoesTheRounding) {
  EXPECT_FLOAT_EQ(PixelsToTwips(96, 96), 1440);
  EXPECT_FLOAT_EQ(PixelsToTwips(1, 96), 15);
  EXPECT_FLOAT_EQ(PixelsToTwips(1, 120), 12);
  EXPECT_FLOAT_EQ(PixelsToTwips(5, 144), 50);
  for (int dpi : {96, 120, 144}) {
    for (int pixels : {0, 1, 2, 17, 308, 419, 1024, -5}) {
      EXPECT_EQ(TwipsToPixels(PixelsToTwips(pixels, dpi), dpi), pixels) << pixels << " px at " << dpi;
    }
    // Twips to pixels and back lands within half a pixel.
    for (float twips : {4620.f, 2070.f, 6285.f, 3765.f, 1.f}) {
      float back = PixelsToTwips(TwipsToPixels(twips, dpi), dpi);
      EXPECT_LE(std::abs(back - twips), 720.f / dpi) << twips << " twips at " << dpi;
    }
  }
}

TEST(FontHeight, IsTheNegatedCharacterHeightInPixels) {
  EXPECT_EQ(FontHeight(18, 96), -24);
  EXPECT_EQ(FontHeight(18, 120), -30);
  EXPECT_EQ(FontHeight(8.25f, 96), -11);
  EXPECT_EQ(FontHeight(12, 72), -12);
  EXPECT_EQ(FontHeight(10, 96), -13);  // 13.33
}

}  // namespace
