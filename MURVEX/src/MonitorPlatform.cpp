#include "MonitorPlatform.h"

namespace {
MonitorPlatform g_platform = {nullptr, nullptr, nullptr};
}  // namespace

MonitorPlatform& CurrentPlatform() { return g_platform; }

void SetPlatform(const MonitorPlatform& platform) { g_platform = platform; }
