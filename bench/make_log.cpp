// Writes a deterministic log for the monitor benchmarks: LINES lines of
// about 94 bytes (a timestamp, a level, words and a counter), the same bytes
// on every run and every machine.
//
//   make_log LINES FILE      0 on success, 1 on a bad argument or write error
//   make_log LINES FILE FIRST    starts the counter and clock at line FIRST
//                                (for appending more lines of the same shape)
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* const kLevels[] = {"INFO ", "INFO ", "INFO ", "DEBUG", "WARN ", "ERROR"};
const char* const kWords[] = {
    "request", "handled", "user",   "session", "cache",  "miss",    "hit",    "queue",
    "worker",  "started", "stopped", "retry",  "timeout", "socket", "closed", "opened",
    "order",   "payment", "item",   "stock",   "index",  "flush",   "commit", "rollback",
    "disk",    "latency", "upload", "download", "token", "expired", "renewed", "backend"};
constexpr int kWordCount = sizeof kWords / sizeof kWords[0];

// xorshift64: fixed sequence from a fixed seed.
uint64_t Next(uint64_t& state) {
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return state;
}

// Line `number` (from 1) without depending on earlier lines, so an append
// continues the file exactly.
std::string LineOf(uint64_t number) {
  uint64_t state = 0x9E3779B97F4A7C15ull ^ (number * 0xD1B54A32D192ED03ull);
  for (int i = 0; i < 3; ++i) Next(state);
  uint64_t ms = number * 37;  // a line every 37 ms from midnight
  char prefix[64];
  std::snprintf(prefix, sizeof prefix, "2026-03-%02u %02u:%02u:%02u.%03u %s ",
                static_cast<unsigned>(1 + ms / 86400000 % 28), static_cast<unsigned>(ms / 3600000 % 24),
                static_cast<unsigned>(ms / 60000 % 60), static_cast<unsigned>(ms / 1000 % 60),
                static_cast<unsigned>(ms % 1000), kLevels[Next(state) % 6]);
  std::string line = prefix;
  char counter[32];
  std::snprintf(counter, sizeof counter, " n=%010llu\n", static_cast<unsigned long long>(number));
  // Lengths spread evenly over 84..104 bytes: 94 on average.
  size_t target = 84 + Next(state) % 21 - std::strlen(counter);
  while (line.size() < target) {
    line += kWords[Next(state) % kWordCount];
    line += ' ';
  }
  line.resize(target);
  if (line.back() == ' ') line.back() = '.';
  return line + counter;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: make_log LINES FILE [FIRST]\n");
    return 1;
  }
  char* end = nullptr;
  unsigned long long lines = std::strtoull(argv[1], &end, 10);
  if (*end != '\0') return 1;
  unsigned long long first = argc == 4 ? std::strtoull(argv[3], &end, 10) : 1;
  if (argc == 4 && (*end != '\0' || first == 0)) return 1;
  FILE* out = std::fopen(argv[2], argc == 4 ? "ab" : "wb");
  if (out == nullptr) return 1;
  static char buffer[1 << 20];
  std::setvbuf(out, buffer, _IOFBF, sizeof buffer);
  for (unsigned long long n = first; n < first + lines; ++n) {
    std::string line = LineOf(n);
    std::fwrite(line.data(), 1, line.size(), out);
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
