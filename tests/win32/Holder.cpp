// For tests/wine/holder-checks.sh, what another program could hold against
// setup: "marvane_holder mutex NAME READY" makes and owns the mutex NAME,
// "marvane_holder file PATH READY" opens PATH for writing, shared with
// nobody. Then it writes READY ("private namespaces: yes" or "no": whether
// CreateBoundaryDescriptorW makes one here) and waits ten minutes at most.
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  HANDLE held =
      std::strcmp(argv[1], "mutex") == 0 ? ::CreateMutexA(nullptr, TRUE, argv[2])
      : std::strcmp(argv[1], "file") == 0
          ? ::CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
          : nullptr;
  std::FILE* ready = std::fopen(argv[3], "w");
  if (held == nullptr || held == INVALID_HANDLE_VALUE || ready == nullptr) return 1;
  HANDLE boundary = ::CreateBoundaryDescriptorW(L"marvane_holder", 0);
  std::fprintf(ready, "private namespaces: %s\n", boundary != nullptr ? "yes" : "no");
  std::fclose(ready);
  ::Sleep(600000);
  return 0;
}
