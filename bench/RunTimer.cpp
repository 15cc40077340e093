// Times whole runs of the portable MarvaneSetup: a first run into an empty
// registry, a rerun over the full one and a /check of it, each in a fresh
// home, side by side in the same loop with an empty static C program
// (MarvaneEmpty, built beside this timer) started the same way.
// Usage: MarvaneSetupRunTimer path/to/MarvaneSetup [runs [path/to/empty]]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Times {
  double wall;  // microseconds from fork to the end of the wait
  double cpu;   // user and system time of the child, microseconds
};

// One run with HOME set and output discarded.
Times TimeRun(const std::string& program, const std::string& home, const char* argument = nullptr) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    setenv("HOME", home.c_str(), 1);
    execl(program.c_str(), program.c_str(), argument, static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  const auto end = std::chrono::steady_clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s exited with %d\n", program.c_str(), WEXITSTATUS(status));
    std::exit(1);
  }
  const auto micro = [](const timeval& t) { return t.tv_sec * 1e6 + static_cast<double>(t.tv_usec); };
  return {std::chrono::duration<double, std::micro>(end - start).count(),
          micro(usage.ru_utime) + micro(usage.ru_stime)};
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s path/to/MarvaneSetup [runs [path/to/empty]]\n", argv[0]);
    return 2;
  }
  const std::string program = std::filesystem::absolute(argv[1]).string();
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 21;
  const std::string empty =
      argc > 3 ? std::filesystem::absolute(argv[3]).string()
               : (std::filesystem::absolute(argv[0]).parent_path() / "MarvaneEmpty").string();
  const std::filesystem::path work =
      std::filesystem::temp_directory_path() / ("marvane-timer-" + std::to_string(getpid()));

  struct Series {
    const char* what;
    std::vector<double> wall, cpu;
    void Add(Times times) {
      wall.push_back(times.wall);
      cpu.push_back(times.cpu);
    }
  };
  Series floor{"empty static C program", {}, {}};
  Series first{"first run (125 data sources, file written)", {}, {}};
  Series rerun{"rerun (nothing to do, file untouched)", {}, {}};
  Series check{"/check (read-only)", {}, {}};
  for (int i = 0; i < runs; ++i) {
    const std::filesystem::path home = work / std::to_string(i);
    std::filesystem::create_directories(home);
    floor.Add(TimeRun(empty, home.string()));
    first.Add(TimeRun(program, home.string()));
    rerun.Add(TimeRun(program, home.string()));
    check.Add(TimeRun(program, home.string(), "/check"));
    std::filesystem::remove_all(home);
  }
  std::filesystem::remove_all(work);
  const double wall = Median(floor.wall), cpu = Median(floor.cpu);
  std::printf("%-44s %9s %8s %9s %8s\n", "", "wall", "x empty", "cpu", "x empty");
  for (const Series* series : {&floor, &first, &rerun, &check}) {
    std::printf("%-44s %6.0f us %8.2f %6.0f us %8.2f\n", series->what, Median(series->wall),
                Median(series->wall) / wall, Median(series->cpu), Median(series->cpu) / cpu);
  }
  std::printf("medians of %d runs of each, in one loop\n", runs);
  return 0;
}
