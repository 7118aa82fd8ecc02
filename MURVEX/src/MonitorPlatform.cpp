#include "MonitorPlatform.h"

#include <chrono>

namespace {
MonitorPlatform g_platform = {nullptr, nullptr, nullptr};
}  // namespace

MonitorPlatform& CurrentPlatform() { return g_platform; }

void SetPlatform(const MonitorPlatform& platform) { g_platform = platform; }

int64_t ChangeWatcher::NowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t ChangeWatcher::CpuUs() { return NowMs() * 1000; }
