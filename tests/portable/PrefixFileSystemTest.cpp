// The worker thread that bounds a call that may hang (the prefix layout is
// tested end to end, tests/e2e/portable_verify.sh).
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "platform/portable/PrefixFileSystem.h"

TEST(PrefixFileSystem, WorkThatOutlivesTheLimitIsLeftRunning) {
  platform::portable::PrefixFileSystem files("/nonexistent", false);
  const auto release = std::make_shared<std::atomic<bool>>(false);
  const platform::HANDLE thread = files.CreateThread([release] {
    while (!*release) std::this_thread::yield();
  });
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(files.WaitForSingleObject(thread, 50), platform::WAIT_TIMEOUT);
  *release = true;
  EXPECT_EQ(files.WaitForSingleObject(thread, 5000), platform::WAIT_OBJECT_0);
  EXPECT_NE(files.CloseHandle(thread), 0);
}
