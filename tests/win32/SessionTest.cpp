// Whether anybody can see the screen, from the facts of the session. (Wine
// puts every process in session 1 on a visible WinSta0, so only the
// decision itself can be exercised here.)
#include <gtest/gtest.h>

#include "platform/win32/Session.h"

using platform::win32::SessionFacts;
using platform::win32::SomeoneCanSeeTheScreen;

namespace {

TEST(SessionTest, NobodySeesSessionZeroOrAnInvisibleStation) {
  struct Case {
    SessionFacts facts;
    bool seen;
  };
  const Case cases[] = {
      {{true, 1, true, true}, true},     // a user's desktop
      {{true, 0, true, true}, false},    // session 0: services, SYSTEM deployments
      {{true, 2, true, false}, false},   // a window station nobody sees
      {{true, 0, false, false}, false},  // session 0, station unknown
      {{false, 0, true, true}, true},    // session unknown: the station decides
      {{false, 0, true, false}, false}, {{false, 0, false, false}, true},  // nothing known: windows as usual
  };
  for (const Case& c : cases)
    EXPECT_EQ(SomeoneCanSeeTheScreen(c.facts), c.seen)
        << c.facts.sessionKnown << c.facts.sessionId << c.facts.stationKnown << c.facts.stationVisible;
}

}  // namespace
