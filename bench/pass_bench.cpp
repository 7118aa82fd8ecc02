// Times the monitor's own entry and change cycle on a real file, with the
// real terminal console writing to /dev/null (conversion included):
//
//   pass_bench FILE RUNS [APPEND_FILE]
//   pass_bench --fill MIB
//
// 1. the start and first listing, until the change wait is first entered;
// 2. RUNS difference passes in which no line changed (the file's time is
//    moved on, its bytes stay);
// 3. with APPEND_FILE, RUNS difference passes after its bytes were appended
//    to FILE; FILE is cut back to its old size at the end.
//
// Each pass is timed from the wake-up to the next wait, so it holds the
// status call, the reading (of the whole file, or after an append of the
// end of the file and its first and last runs), the comparison with the
// line table and the printing of changed lines; the sweep between the waits
// is left out. Prints one line per figure:
// "<name> <median ms> <min ms> <max ms> <median CPU ms>"; exit code 0, or 1
// on a failure.
//
// --fill times the floor under any first listing: writing MIB MiB of fresh
// memory (with the table's large-page hint), as the line table must.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ChangeCycle.h"
#include "LargeBlocks.h"
#include "Monitor.h"
#include "PosixPlatform.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// CPU time of the process: on a shared machine it shows how much of a wall
// time was waiting for a core.
double CpuMs() {
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1000 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Stands in for the change wait: each wake-up first performs the next
// change on the file and starts the clock of the pass that follows.
class TimedWatcher : public ChangeWatcher {
 public:
  std::vector<std::function<void()>> changes;
  Clock::time_point started;
  double cpuStarted = 0;
  std::vector<double> waits;  // ms from each start (or the wake-up) to the next wait
  std::vector<double> cpu;    // CPU ms over the same spans
  size_t next = 0;
  int64_t laterMs = 0;
  int Start(const char*, const char*) override { return 0; }
  // Each wake-up comes an hour after the last: every change makes a pass
  // of its own, with no hold-off after the pass before.
  int64_t NowMs() override { return ChangeWatcher::NowMs() + laterMs; }
  int Wait(int) override {
    laterMs += 3600000;
    waits.push_back(Ms(Clock::now() - started));
    cpu.push_back(CpuMs() - cpuStarted);
    if (next >= changes.size()) return kWaitFailed;
    changes[next++]();
    started = Clock::now();
    cpuStarted = CpuMs();
    return kWoke;
  }
  void Stop() override {}
};

double Median(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

// "<name> <median> <min> <max> <median CPU>" in ms, over spans [from, to).
void Report(const char* name, const TimedWatcher& watcher, size_t from, size_t to) {
  if (from >= to) return;
  std::vector<double> ms(watcher.waits.begin() + from, watcher.waits.begin() + to);
  std::vector<double> cpu(watcher.cpu.begin() + from, watcher.cpu.begin() + to);
  std::printf("%s %.2f %.2f %.2f %.2f\n", name, Median(ms), *std::min_element(ms.begin(), ms.end()),
              *std::max_element(ms.begin(), ms.end()), Median(cpu));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "--fill") == 0) {
    size_t size = static_cast<size_t>(std::atol(argv[2])) << 20;
    double cpuStart = CpuMs();
    Clock::time_point start = Clock::now();
    char* block = static_cast<char*>(std::malloc(size));
    if (block == nullptr) return 1;
    AdviseLargeBlock(block, size);
    std::memset(block, 1, size);
    double ms = Ms(Clock::now() - start);
    std::printf("fill %.2f %.2f %.2f %.2f\n", ms, ms, ms, CpuMs() - cpuStart);
    std::free(block);
    return 0;
  }
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: pass_bench FILE RUNS [APPEND_FILE]\n");
    return 1;
  }
  const char* path = argv[1];
  int runs = std::atoi(argv[2]);
  std::string appended;
  if (argc == 4) {
    FILE* chunk = std::fopen(argv[3], "rb");
    if (chunk == nullptr) return 1;
    char block[65536];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, chunk)) > 0) appended.append(block, got);
    std::fclose(chunk);
  }
  struct stat original;
  if (stat(path, &original) != 0) return 1;

  int fd = open(path, O_WRONLY | O_APPEND);
  if (fd < 0) return 1;
  TimedWatcher watcher;
  int64_t touches = 0;
  for (int i = 0; i < runs; ++i) {
    watcher.changes.push_back([&] {
      // New time, same bytes: every line is compared, none printed.
      timespec times[2] = {{0, UTIME_OMIT}, {original.st_mtim.tv_sec + 1 + ++touches, 0}};
      futimens(fd, times);
    });
  }
  if (!appended.empty()) {
    for (int i = 0; i < runs; ++i) {
      watcher.changes.push_back([&] {
        if (write(fd, appended.data(), appended.size()) != static_cast<ssize_t>(appended.size())) std::exit(1);
      });
    }
  }

  // Each wake-up an hour after the last would give the sweep between the
  // waits its largest slice in every span: the passes are timed alone.
  SetSweepRate(0);
  int devNull = open("/dev/null", O_WRONLY);
  TerminalConsole console(devNull, STDERR_FILENO);
  MonitorPlatform platform{&PosixFileSystem(), &console, &watcher};
  char* monitorArgv[] = {argv[0], const_cast<char*>(path), nullptr};
  watcher.started = Clock::now();
  watcher.cpuStarted = CpuMs();
  int result = MonitorMain(2, monitorArgv, platform);
  if (!appended.empty() && ftruncate(fd, original.st_size) != 0) return 1;
  close(fd);
  if (result != 0 || watcher.waits.size() != watcher.changes.size() + 1) {
    std::fprintf(stderr, "pass_bench: the monitor ended early (%d)\n", result);
    return 1;
  }
  size_t unchangedEnd = 1 + static_cast<size_t>(runs);
  Report("first_listing", watcher, 0, 1);
  Report("pass_unchanged", watcher, 1, unchangedEnd);
  Report("pass_appended", watcher, unchangedEnd, watcher.waits.size());
  return 0;
}
