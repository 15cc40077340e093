// The worker thread that bounds a call that may hang (the prefix layout is
// tested end to end, tests/e2e/portable_verify.sh).
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

#include "platform/portable/PrefixFileSystem.h"

TEST(PrefixFileSystem, WorkThatOutlivesTheLimitIsAbandoned) {
  platform::portable::PrefixFileSystem files("/nonexistent", false);
  const auto release = std::make_shared<std::atomic<bool>>(false);
  EXPECT_EQ(files.CreateThreadAndWait(
                [release] {
                  while (!*release) std::this_thread::yield();
                },
                50),
            platform::WAIT_TIMEOUT);
  *release = true;
  EXPECT_EQ(files.CreateThreadAndWait([] {}, 5000), platform::WAIT_OBJECT_0);
}
