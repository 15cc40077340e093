// clang-format off
#include "platform/win32/Session.h"

#include <windows.h>
#include "platform/win32/Handles.h"
// clang-format on

#include <type_traits>

namespace platform::win32 {

bool SomeoneCanSeeTheScreen(const SessionFacts& facts) {
  if (facts.sessionKnown && facts.sessionId == 0) return false;
  if (facts.stationKnown && !facts.stationVisible) return false;
  return true;
}

SessionFacts CurrentSessionFacts() {
  SessionFacts facts;
  DWORD session = 0;
  if (::ProcessIdToSessionId(::GetCurrentProcessId(), &session)) {
    facts.sessionKnown = true;
    facts.sessionId = session;
  }
  USEROBJECTFLAGS flags{};
  DWORD needed = 0;
  if (HWINSTA station = ::GetProcessWindowStation();
      station != nullptr && ::GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, &needed)) {
    facts.stationKnown = true;
    facts.stationVisible = (flags.dwFlags & WSF_VISIBLE) != 0;
  }
  return facts;
}

// HANDLE is void* with or without STRICT, so the header need not name it.
static_assert(std::is_same_v<HANDLE, void*>);

bool TokenIsElevated(void* token) {
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  return ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
         elevation.TokenIsElevated != 0;
}

bool ProcessIsElevated() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  const UniqueHandle owned(token);
  return TokenIsElevated(owned.get());
}

}  // namespace platform::win32
