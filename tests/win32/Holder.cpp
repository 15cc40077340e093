// Holds what another program could hold against setup, for the Wine checks
// (tests/wine/turn-checks.sh):
//
//   marvane_holder mutex NAME READY   creates the mutex NAME and owns it
//   marvane_holder file PATH READY    opens PATH for writing, shared with nobody
//
// then writes the file READY, with the line "private namespaces: yes" or
// "no" (whether CreateBoundaryDescriptorW makes one here), and waits until it
// is ended, ten minutes at most.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: marvane_holder mutex NAME READY | file PATH READY\n", stderr);
    return 2;
  }
  HANDLE held = nullptr;
  if (std::strcmp(argv[1], "mutex") == 0)
    held = ::CreateMutexA(nullptr, TRUE, argv[2]);
  else if (std::strcmp(argv[1], "file") == 0)
    held = ::CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (held == nullptr || held == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "marvane_holder: %s %s: error %lu\n", argv[1], argv[2], ::GetLastError());
    return 1;
  }
  HANDLE boundary = ::CreateBoundaryDescriptorW(L"marvane_holder", 0);
  std::FILE* ready = std::fopen(argv[3], "w");
  if (ready == nullptr) return 1;
  std::fprintf(ready, "private namespaces: %s\n", boundary != nullptr ? "yes" : "no");
  std::fclose(ready);
  if (boundary != nullptr) ::DeleteBoundaryDescriptor(boundary);
  ::Sleep(600000);
  return 0;
}
