// clang-format off
#include "platform/win32/RunTurn.h"

#include <sddl.h>
// clang-format on

namespace platform::win32 {

namespace {

// Full access for SYSTEM and the Administrators, nobody else: the namespace
// (which anyone could open otherwise, boundary or not) and the mutex in it,
// so that a run as SYSTEM and one as an administrator may each own it.
constexpr wchar_t kAdministratorsOnly[] = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)";

// Two runs may start at the same moment, and a namespace goes with the last
// handle to it: this many rounds of create, or else open what another run
// made, before giving up.
constexpr int kNamespaceRounds = 16;

TakenTurn Failed(const char* call, DWORD error) {
  TakenTurn taken;
  taken.failed = call;
  taken.error = error;
  return taken;
}

}  // namespace

TakenTurn TakeRunTurn(DWORD milliseconds) {
  TakenTurn taken;
  // Wine's stub fails without setting an error; Windows fails only for want of memory.
  ::SetLastError(ERROR_SUCCESS);
  UniqueBoundary boundary(::CreateBoundaryDescriptorW(kRunNamespaceName, 0));
  const DWORD noBoundary = boundary ? ERROR_SUCCESS : ::GetLastError();
  if (!boundary && noBoundary != ERROR_SUCCESS && noBoundary != ERROR_CALL_NOT_IMPLEMENTED)
    return Failed("CreateBoundaryDescriptorW", noBoundary);

  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
  UniqueLocal descriptor;
  if (boundary) {
    alignas(SID) BYTE administrators[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof administrators;
    if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size))
      return Failed("CreateWellKnownSid", ::GetLastError());
    if (!::AddSIDToBoundaryDescriptor(boundary.address(), administrators))
      return Failed("AddSIDToBoundaryDescriptor", ::GetLastError());
    PSECURITY_DESCRIPTOR made = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnly, SDDL_REVISION_1, &made,
                                                                nullptr))
      return Failed("ConvertStringSecurityDescriptorToSecurityDescriptorW", ::GetLastError());
    descriptor = UniqueLocal(made);
    attributes.lpSecurityDescriptor = made;

    for (int round = 0; round < kNamespaceRounds && !taken.turn.space; ++round) {
      taken.turn.space =
          UniqueNamespace(::CreatePrivateNamespaceW(&attributes, boundary.get(), kRunNamespaceName));
      if (taken.turn.space) break;
      if (const DWORD error = ::GetLastError(); error != ERROR_ALREADY_EXISTS)
        return Failed("CreatePrivateNamespaceW", error);
      // Another run's: joined, unless it went with that run meanwhile.
      taken.turn.space = UniqueNamespace(::OpenPrivateNamespaceW(boundary.get(), kRunNamespaceName));
      if (!taken.turn.space && ::GetLastError() == ERROR_ACCESS_DENIED)
        return Failed("OpenPrivateNamespaceW", ERROR_ACCESS_DENIED);
    }
    if (!taken.turn.space) return Failed("OpenPrivateNamespaceW", ::GetLastError());
  }

  // Not owned at creation: a mutex that exists already would not be
  // granted then (ERROR_ALREADY_EXISTS); the wait takes it either way.
  const wchar_t* name = boundary ? kRunMutexName : kPlainRunMutexName;
  HANDLE mutex = ::CreateMutexW(boundary ? &attributes : nullptr, FALSE, name);
  // The plain one, made by another account, may still be waited on.
  if (mutex == nullptr && !boundary && ::GetLastError() == ERROR_ACCESS_DENIED)
    mutex = ::OpenMutexW(SYNCHRONIZE, FALSE, name);
  if (mutex == nullptr) return Failed("CreateMutexW", ::GetLastError());
  taken.turn.mutex = Mutex(UniqueHandle(mutex));

  Mutex::Acquired acquired = taken.turn.mutex.acquire(milliseconds);
  if (acquired.ownership) {
    taken.turn.ownership = std::move(acquired.ownership);
    return taken;
  }
  if (acquired.wait == WAIT_TIMEOUT) {
    taken.busy = true;
    return taken;
  }
  return Failed("WaitForSingleObject", acquired.error);
}

}  // namespace platform::win32
