// The worker thread that bounds a call that may hang.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "platform/FileSystem.h"
#include "platform/win32/Backend.h"

TEST(FileSystem, WorkThatOutlivesTheLimitIsAbandoned) {
  platform::FileSystem& files = platform::win32::TheFileSystem();
  const auto release = std::make_shared<std::atomic<bool>>(false);
  EXPECT_EQ(files.CreateThreadAndWait(
                [release] {
                  while (!*release) {
                  }
                },
                50),
            platform::WAIT_TIMEOUT);
  *release = true;
  EXPECT_EQ(files.CreateThreadAndWait([] {}, 5000), platform::WAIT_OBJECT_0);
}
