#include <gtest/gtest.h>

#include <functional>
#include <sstream>

#include "platform/portable/PortableSystemInfo.h"
#include "platform/portable/TerminalWindowing.h"

namespace platform::portable {
namespace {

TEST(PortableSystemInfo, ProcessorIdentifierInWindowsForm) {
  // Signatures of real processors: family, model and stepping as Windows shows them.
  EXPECT_EQ(X86ProcessorIdentifier("GenuineIntel", 0x00050657, true), "Intel64 Family 6 Model 85 Stepping 7");
  EXPECT_EQ(X86ProcessorIdentifier("AuthenticAMD", 0x00A20F10, true), "AMD64 Family 25 Model 33 Stepping 0");
  EXPECT_EQ(X86ProcessorIdentifier("GenuineIntel", 0x000006FB, false), "x86 Family 6 Model 15 Stepping 11");
  EXPECT_EQ(X86ProcessorIdentifier("GenuineIntel", 0x00000F29, false), "x86 Family 15 Model 2 Stepping 9");
  EXPECT_EQ(X86ProcessorIdentifier("AuthenticAMD", 0x00000F4A, false), "x86 Family 15 Model 4 Stepping 10");
  const std::string here = ProcessorIdentifier();
  EXPECT_NE(here.find(" Family "), std::string::npos) << here;
}

TEST(PortableSystemInfo, VersionAndSystemDirectory) {
  PortableSystemInfo system;
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_EQ(system.GetVersionExA(&info), 1);
  EXPECT_EQ(info.dwPlatformId, 2u);
  EXPECT_EQ(info.dwMajorVersion, 6u);
  EXPECT_EQ(info.dwMinorVersion, 2u);
  info.dwOSVersionInfoSize = 100;
  EXPECT_EQ(system.GetVersionExA(&info), 0);

  char buffer[260] = {};
  EXPECT_EQ(system.GetSystemDirectoryA(buffer, sizeof buffer), 19u);
  EXPECT_STREQ(buffer, "C:\\Windows\\System32");
  char small[19] = {};
  EXPECT_EQ(system.GetSystemDirectoryA(small, sizeof small), 20u);  // the size needed, nothing copied
  EXPECT_EQ(small[0], '\0');

  SYSTEMTIME today{};
  system.GetLocalTime(&today);
  EXPECT_GE(today.wYear, 2024);
}

class Window : public Form {
 public:
  Window(Windowing& windowing, const char* caption, std::function<void(Window&)> onLoad)
      : windowing_(windowing), onLoad_(std::move(onLoad)) {
    spec_.caption = caption;
    spec_.clientWidth = 1000;
    spec_.clientHeight = 500;
    spec_.labels.push_back(LabelSpec{"label text", 0, 0, 10, 10, {}});
  }
  const WindowSpec& Spec() const override { return spec_; }
  void Load() override { onLoad_(*this); }
  Windowing& windowing_;

 private:
  WindowSpec spec_;
  std::function<void(Window&)> onLoad_;
};

TEST(TerminalWindowing, WindowsAreLinesAndKeepTheirGeometry) {
  std::ostringstream out;
  std::istringstream in("\n");
  TerminalWindowing windowing(out, in, true);
  float width = 0, height = 0;
  Window main(windowing, "Main", [&](Window& self) {
    EXPECT_EQ(windowing.Width(self), 1000 + TerminalWindowing::kFrameWidth);
    windowing.Show(self);
    windowing.SetWidth(self, 4740);
    windowing.SetHeight(self, 2475.5f);
    width = windowing.Width(self);
    height = windowing.Height(self);
    windowing.MessageBoxA(&self, "first line\nsecond line", "Box", MB_OK);
    windowing.Unload(self);
    EXPECT_THROW(windowing.Width(self), PlatformError);
  });
  windowing.Run(main);
  EXPECT_EQ(width, 4740);
  EXPECT_EQ(height, 2475.5f);
  EXPECT_EQ(out.str(), "[Main] label text\n[Box] first line\n    second line  [OK]\n[Main] closed\n");
  EXPECT_TRUE(in.eof() || in.peek() == EOF) << "the box waited for Enter";
}

TEST(TerminalWindowing, RunClosesWhatTheLoadHandlerLeftOpen) {
  std::ostringstream out;
  std::istringstream in("unread\n");
  TerminalWindowing windowing(out, in, false);
  Window main(windowing, "Main", [&](Window& self) {
    windowing.Show(self);
    windowing.MessageBoxA(nullptr, "text", "Box", MB_OK);
  });
  windowing.Run(main);
  EXPECT_EQ(out.str(), "[Main] label text\n[Box] text  [OK]\n[Main] closed\n");
  std::string left;
  std::getline(in, left);
  EXPECT_EQ(left, "unread") << "no terminal: the box does not wait";
}

}  // namespace
}  // namespace platform::portable
