// The turn that runs changing the machine take, one at a time.
//
// The turn is a mutex in a private namespace whose boundary is the
// Administrators group, and which only SYSTEM and the Administrators may
// open: a standard user can neither make that namespace (the caller must be
// within its boundary) nor reach into it, so a mutex that anyone else makes,
// under any name, Global\MarvaneSetup included, is another object and takes
// no turn. Microsoft's "Object Namespaces" knows a private namespace by its
// name and its boundary alone; a session comes into it only as an element
// that its creator may put in the boundary. This boundary holds none, so a
// run as SYSTEM in session 0 and an elevated administrator's in session 1
// meet in the same namespace.
//
// Wine 8 has no private namespaces (CreateBoundaryDescriptorW returns
// nothing, and the calls after it are not implemented): there the turn is
// the mutex Global\MarvaneSetup, as it was, which anyone may hold.
#pragma once

#include "platform/win32/Handles.h"

namespace platform::win32 {

inline constexpr wchar_t kRunNamespaceName[] = L"MarvaneSetup";
inline constexpr wchar_t kRunMutexName[] = L"MarvaneSetup\\Run";  // in that namespace
inline constexpr wchar_t kPlainRunMutexName[] = L"Global\\MarvaneSetup";

// Held for as long as the run changes the machine. Its members go in the
// reverse order: the ownership is released, the mutex closed, and then the
// namespace, which another run may still be in.
struct RunTurn {
  UniqueNamespace space;  // none where the system has no private namespaces
  Mutex mutex;
  Mutex::Ownership ownership;
};

struct TakenTurn {
  RunTurn turn;                  // owned when taken
  bool busy = false;             // another run held it for all of the wait
  const char* failed = nullptr;  // else the call that failed, with its error
  ::DWORD error = 0;
};

// Waits up to milliseconds for the turn; one that its holder left without
// giving it back (killed, powered off) is taken as well.
TakenTurn TakeRunTurn(::DWORD milliseconds);

}  // namespace platform::win32
