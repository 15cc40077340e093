// Times whole runs of the portable MarvaneSetup: a first run into an empty
// registry and a rerun over the full one, each in a fresh home, and the
// cost of starting a process that does nothing, for comparison.
// Usage: MarvaneSetupRunTimer path/to/MarvaneSetup [runs]
#include <fcntl.h>
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

// Wall time of one run in microseconds, with HOME set and output discarded.
double TimeRun(const std::string& program, const std::string& home) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, STDIN_FILENO);
    dup2(null, STDOUT_FILENO);
    setenv("HOME", home.c_str(), 1);
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  const auto end = std::chrono::steady_clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s exited with %d\n", program.c_str(), WEXITSTATUS(status));
    std::exit(1);
  }
  return std::chrono::duration<double, std::micro>(end - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s path/to/MarvaneSetup [runs]\n", argv[0]);
    return 2;
  }
  const std::string program = std::filesystem::absolute(argv[1]).string();
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 21;
  const std::filesystem::path work =
      std::filesystem::temp_directory_path() / ("marvane-timer-" + std::to_string(getpid()));

  std::vector<double> first, rerun, empty;
  for (int i = 0; i < runs; ++i) {
    const std::filesystem::path home = work / std::to_string(i);
    std::filesystem::create_directories(home);
    first.push_back(TimeRun(program, home.string()));
    rerun.push_back(TimeRun(program, home.string()));
    empty.push_back(TimeRun("/bin/true", home.string()));
    std::filesystem::remove_all(home);
  }
  std::filesystem::remove_all(work);
  std::printf("first run:           median %8.0f us over %d runs\n", Median(first), runs);
  std::printf("rerun:               median %8.0f us over %d runs\n", Median(rerun), runs);
  std::printf("/bin/true, for scale: median %7.0f us over %d runs\n", Median(empty), runs);
  return 0;
}
