// The install sequence against an in-memory registry, per data source, for
// a first run (nothing present) and a rerun (everything present). The number
// of data sources is set through the current year.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "odbc/MdlODBC.h"
#include "platform/HeadlessWindowing.h"
#include "platform/portable/FileRegistry.h"
#include "platform/portable/MemoryRegistry.h"
#include "platform/portable/PortableSystemInfo.h"
#include "registry/basRegistry.h"
#include "setup/frmMarvane.h"

using namespace platform;

namespace {

// Windows that keep their geometry and show nothing.
class FixedYear : public portable::PortableSystemInfo {
 public:
  explicit FixedYear(WORD year) : year_(year) {}
  void GetLocalTime(SYSTEMTIME* st) override {
    std::memset(st, 0, sizeof *st);
    st->wYear = year_;
  }

 private:
  WORD year_;
};

WORD YearFor(std::int64_t dataSources) {
  return static_cast<WORD>(2002 + (dataSources - 5) / 5);
}

void Install(portable::MemoryRegistry& registry, WORD year) {
  FixedYear system(year);
  HeadlessWindowing windowing;
  basRegistry reader(registry);
  MdlODBC odbc(registry, system, windowing);
  frmMarvane window(windowing, system, reader, odbc);
  windowing.Run(window);
  if (window.Result().ExitStatus() != 0) throw std::runtime_error("a registration failed");
}

std::unique_ptr<portable::MemoryRegistry> NewRegistry() {
  auto registry = std::make_unique<portable::MemoryRegistry>();
  const char identifier[] = "Intel64 Family 6 Model 85 Stepping 7";
  registry->AddVolatileValue("HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "Identifier", REG_SZ,
                             std::vector<BYTE>(identifier, identifier + sizeof identifier));
  return registry;
}

void BM_FirstRun(benchmark::State& state) {
  const WORD year = YearFor(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    auto registry = NewRegistry();
    state.ResumeTiming();
    Install(*registry, year);
    state.PauseTiming();
    registry.reset();
    state.ResumeTiming();
  }
  state.counters["per_data_source"] =
      benchmark::Counter(static_cast<double>(state.range(0)),
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Rerun(benchmark::State& state) {
  const WORD year = YearFor(state.range(0));
  auto registry = NewRegistry();
  Install(*registry, year);
  for (auto _ : state) Install(*registry, year);
  state.counters["per_data_source"] =
      benchmark::Counter(static_cast<double>(state.range(0)),
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// One run against the registry file at path, as the program makes it: open
// (lock, read, replay), the install sequence, close (fold when changed).
void RunOnFile(const std::string& path, WORD year) {
  auto opened = portable::FileRegistry::Open(path);
  if (!opened.registry) throw std::runtime_error(opened.error);
  const char identifier[] = "Intel64 Family 6 Model 85 Stepping 7";
  opened.registry->AddVolatileValue("HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "Identifier",
                                    REG_SZ, std::vector<BYTE>(identifier, identifier + sizeof identifier));
  Install(*opened.registry, year);
  std::string error;
  if (!opened.registry->Close(error)) throw std::runtime_error(error);
}

void CountPerDataSource(benchmark::State& state) {
  state.counters["per_data_source"] =
      benchmark::Counter(static_cast<double>(state.range(0)),
                         benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// A first run with the registry file: every change logged, the file written
// and synced at the end.
void BM_FileFirstRun(benchmark::State& state) {
  const std::string directory = "/tmp/marvane-bench-" + std::to_string(getpid());
  const std::string path = directory + "/HKLM.reg";
  const WORD year = YearFor(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove_all(directory);
    state.ResumeTiming();
    RunOnFile(path, year);
  }
  std::filesystem::remove_all(directory);
  CountPerDataSource(state);
}

// A rerun with the registry file: read, probed, left untouched.
void BM_FileRerun(benchmark::State& state) {
  const std::string directory = "/tmp/marvane-bench-" + std::to_string(getpid());
  const std::string path = directory + "/HKLM.reg";
  const WORD year = YearFor(state.range(0));
  RunOnFile(path, year);
  for (auto _ : state) RunOnFile(path, year);
  std::filesystem::remove_all(directory);
  CountPerDataSource(state);
}

// Opening and closing the machine registry file of a finished run: the
// fixed cost of every rerun of the program.
void BM_OpenRegistryFile(benchmark::State& state) {
  const std::string directory = "/tmp/marvane-bench-" + std::to_string(getpid());
  const std::string path = directory + "/HKLM.reg";
  {
    auto opened = portable::FileRegistry::Open(path);
    if (!opened.registry) throw std::runtime_error(opened.error);
    const char identifier[] = "Intel64 Family 6 Model 85 Stepping 7";
    opened.registry->AddVolatileValue("HARDWARE\\DESCRIPTION\\System\\CentralProcessor\\0", "Identifier",
                                      REG_SZ, std::vector<BYTE>(identifier, identifier + sizeof identifier));
    Install(*opened.registry, YearFor(state.range(0)));
    std::string error;
    if (!opened.registry->Close(error)) throw std::runtime_error(error);
  }
  for (auto _ : state) {
    auto opened = portable::FileRegistry::Open(path);
    std::string error;
    opened.registry->Close(error);
  }
  std::filesystem::remove_all(directory);
}

// Reading a file of n keys under one parent, in order (range 1 = 0) or in
// reverse (1): a hostile order must cost about what the sorted one does.
void BM_ReadKeysInAnyOrder(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  std::string text = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\S]\n\n";
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t n = state.range(1) != 0 ? count - i : i;
    text += "[HKEY_LOCAL_MACHINE\\S\\K" + std::to_string(1000000 + n) + "]\n\n";
  }
  for (auto _ : state) {
    portable::RegKey root;
    if (!portable::ReadRegFile(text, "bench.reg", root).empty()) throw std::runtime_error("bad bench file");
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
}

}  // namespace

BENCHMARK(BM_ReadKeysInAnyOrder)
    ->Args({20000, 0})
    ->Args({20000, 1})
    ->Args({200000, 0})
    ->Args({200000, 1})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenRegistryFile)->Arg(125)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FirstRun)->Arg(125)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Rerun)->Arg(125)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FileFirstRun)->Arg(125)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FileRerun)->Arg(125)->Arg(1000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
