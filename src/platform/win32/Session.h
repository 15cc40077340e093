// Whether anybody can see the program's windows, decided from facts about
// the session and the window station the process runs in. Kept apart from
// the calls that gather the facts, so that the decision can be tested.
#pragma once

#include <cstdint>

namespace platform::win32 {

struct SessionFacts {
  bool sessionKnown = false;    // ProcessIdToSessionId succeeded
  std::uint32_t sessionId = 0;  // its answer
  bool stationKnown = false;    // GetUserObjectInformation(UOI_FLAGS) succeeded
  bool stationVisible = false;  // its flags hold WSF_VISIBLE
};

// Since Windows Vista session 0 has no user desktop: services, deployment
// tools and startup scripts run there as SYSTEM. A window station without
// WSF_VISIBLE cannot show anything either. Facts that could not be had
// decide nothing.
bool SomeoneCanSeeTheScreen(const SessionFacts& facts);

// The facts of the running process.
SessionFacts CurrentSessionFacts();

// Whether an access token (a HANDLE opened with TOKEN_QUERY) is elevated
// (TokenElevation): run as an administrator who accepted the prompt, as
// SYSTEM, or as an administrator where User Account Control is off. False
// when the token cannot be read.
bool TokenIsElevated(void* token);

// The same for this process's token; false when it cannot be opened.
bool ProcessIsElevated();

}  // namespace platform::win32
