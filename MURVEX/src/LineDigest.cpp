#include "LineDigest.h"

#include <chrono>
#include <cstring>

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace {

uint64_t g_seed = 0;

// splitmix64's finaliser: spreads the few changing bits of the fallback.
uint64_t Mix(uint64_t x) {
  x += 0x9e3779b97f4a7c15ull;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
  return x ^ (x >> 31);
}

}  // namespace

void SeedLineDigest() {
  uint64_t seed;
  if (SystemRandom64(&seed) != 0) {
    // No system generator: the clocks and where the stack and this code
    // lie (moved at every start where addresses are randomised) are still
    // unknown to a writer of the file.
    int onStack = 0;
    seed = Mix(static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count()));
    seed = Mix(seed ^ static_cast<uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()));
    seed = Mix(seed ^ static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&onStack)));
    seed = Mix(seed ^ static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&SeedLineDigest)));
  }
  g_seed = seed;
}

void SetLineDigestSeed(uint64_t seed) { g_seed = seed; }

void DigestLine(const char* text, size_t length, char out[kLineDigestSize + 1]) {
  uint64_t digest = XXH3_64bits_withSeed(text, length, g_seed);
  // Eight bytes keep the low seven bits of each digest byte; the eight high
  // bits, gathered into one byte by the multiplication, fill two more.
  uint64_t low = (digest & 0x7F7F7F7F7F7F7F7Full) | 0x8080808080808080ull;
  unsigned high = static_cast<unsigned>(((digest & 0x8080808080808080ull) >> 7) * 0x0102040810204080ull >> 56);
  std::memcpy(out, &low, sizeof low);
  out[8] = static_cast<char>(0x80 | (high & 0x7F));
  out[9] = static_cast<char>(0x80 | (high >> 7));
  out[kLineDigestSize] = '\0';
}

uint64_t DigestBytes(const void* bytes, size_t length) { return XXH3_64bits_withSeed(bytes, length, g_seed); }

struct BytesDigest::State {
  XXH3_state_t xxh;
};

BytesDigest::BytesDigest() : state_(new State) { Begin(); }

BytesDigest::~BytesDigest() = default;

void BytesDigest::Begin() { XXH3_64bits_reset_withSeed(&state_->xxh, g_seed); }

void BytesDigest::Add(const void* bytes, size_t length) { XXH3_64bits_update(&state_->xxh, bytes, length); }

uint64_t BytesDigest::Value() const { return XXH3_64bits_digest(&state_->xxh); }
