// The Win32 windows on a display (under Wine, a virtual one): a main window
// and a progress window shaped as the program's own, shown, painted and
// unloaded through the windowing layer, and looked at from outside it.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Screen.h"
#include "platform/Windowing.h"
#include "platform/win32/Backend.h"

namespace {

using namespace platform;

constexpr const char* kMain = "Test Main";
constexpr const char* kProgress = "Test Progress";

class TestForm final : public Form {
 public:
  explicit TestForm(WindowSpec spec) : spec_(std::move(spec)) {}
  const WindowSpec& Spec() const override { return spec_; }
  void Load() override {
    if (onLoad) onLoad();
  }
  std::function<void()> onLoad;

 private:
  WindowSpec spec_;
};

WindowSpec MainSpec() {
  WindowSpec spec;
  spec.kind = WindowKind::MdiFrame;
  spec.caption = kMain;
  spec.clientWidth = 6285;
  spec.clientHeight = 3765;
  spec.backgroundSysColor = 12;
  return spec;
}

WindowSpec ProgressSpec() {
  WindowSpec spec;
  spec.caption = kProgress;
  spec.clientWidth = 4620;
  spec.clientHeight = 2070;
  LabelSpec label;
  label.text = "   ***  Installing  ***   ***  Please Wait  ***";
  label.left = 240;
  label.top = 480;
  label.width = 4095;
  label.height = 975;
  label.font = FontSpec{"MS Sans Serif", 18, 700, 0, false, false, false};
  spec.labels.push_back(label);
  return spec;
}

struct Program {
  std::unique_ptr<Windowing> windowing = win32::MakeWindowing();
  TestForm main{MainSpec()};
  TestForm progress{ProgressSpec()};
};

TEST(WindowsOnTheDisplay, ShowingAndUnloadingAPairLeavesNoWindowAndRunReturns) {
  struct Ending {
    const char* what;
    bool mainClosedByAMessage;  // else unloaded by its load handler
  };
  for (const Ending& ending : {Ending{"both unloaded while loading", false},
                               Ending{"main window closed from the message loop", true}}) {
    Program program;
    int shown = -1;
    program.main.onLoad = [&] {
      program.windowing->Show(program.main);
      program.windowing->Show(program.progress);
      shown = screen::ProgramWindowCount();
      program.windowing->Unload(program.progress);
      if (ending.mainClosedByAMessage) {
        screen::PostClose(kMain);
      } else {
        program.windowing->Unload(program.main);
      }
    };
    program.windowing->Run(program.main);
    EXPECT_EQ(shown, 2) << ending.what;
    EXPECT_EQ(screen::ProgramWindowCount(), 0) << ending.what;
    // A quit message left behind would end the program's next message box
    // at once.
    EXPECT_FALSE(screen::QuitPending()) << ending.what;
  }
}

TEST(WindowsOnTheDisplay, ProgressWindowAndBoxBelongToTheMainWindowAndTheLabelIsDrawn) {
  Program program;
  screen::WindowFacts main, progress;
  int textPixels = -1;
  std::vector<screen::Handle> boxOwners;
  program.main.onLoad = [&] {
    program.windowing->Show(program.main);
    program.windowing->Show(program.progress);
    program.windowing->Refresh(program.progress);
    main = screen::Window(kMain);
    progress = screen::Window(kProgress);
    textPixels = screen::LabelTextPixels(kProgress);
    program.windowing->Unload(program.progress);
    {
      screen::BoxCloser closer;
      program.windowing->MessageBoxA(&program.main, "Done.", "Test Box", MB_OK);
      boxOwners = closer.Owners();
    }
    program.windowing->Unload(program.main);
  };
  program.windowing->Run(program.main);

  ASSERT_NE(main.hwnd, 0u);
  ASSERT_NE(progress.hwnd, 0u);
  EXPECT_EQ(main.owner, 0u);
  EXPECT_TRUE(progress.visible);
  // Owned, so no taskbar button of its own, unless forced onto the taskbar.
  EXPECT_EQ(progress.owner, main.hwnd);
  EXPECT_FALSE(progress.appWindow);
  EXPECT_TRUE(progress.caption);
  EXPECT_FALSE(progress.sizingBorder);
  EXPECT_FALSE(progress.systemMenu);
  EXPECT_FALSE(progress.minimizeBox);
  EXPECT_FALSE(progress.maximizeBox);
  // 47 characters of 18-point bold text cover well over a thousand pixels;
  // a label left blank, or drawn in its background colour, covers none.
  EXPECT_GT(textPixels, 1000);
  ASSERT_EQ(boxOwners.size(), 1u);
  EXPECT_EQ(boxOwners[0], main.hwnd);
}

TEST(WindowsOnTheDisplay, LabelFontIsTheFormsOwnAt96DpiAndTrueTypeElsewhere) {
  Program program;
  screen::FontFacts font;
  program.main.onLoad = [&] {
    program.windowing->Show(program.progress);
    font = screen::LabelFont(kProgress);
    program.windowing->Unload(program.progress);
    program.windowing->Unload(program.main);
  };
  program.windowing->Run(program.main);

  const int dpi = screen::ScreenDpi();
  EXPECT_EQ(font.height, -static_cast<int>(std::lround(18.0 * dpi / 72))) << dpi << " dpi";
  EXPECT_EQ(font.weight, 700);
  EXPECT_EQ(font.charset, 0);
  if (dpi == 96) {
    EXPECT_EQ(font.face, "MS Sans Serif");
  } else {
    EXPECT_EQ(font.face, "Microsoft Sans Serif") << dpi << " dpi";
    EXPECT_TRUE(font.trueType) << dpi << " dpi";
  }
}

}  // namespace
