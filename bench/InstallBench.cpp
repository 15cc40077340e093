// The install sequence against an in-memory registry, per data source, for
// a first run (nothing present) and a rerun (everything present). The number
// of data sources is set through the current year.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "odbc/MdlODBC.h"
#include "platform/HeadlessWindowing.h"
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

}  // namespace

BENCHMARK(BM_FirstRun)->Arg(125)->Arg(1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Rerun)->Arg(125)->Arg(1000)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
