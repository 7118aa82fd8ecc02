// What the line table keeps for each line number: a digest of the line's
// text rather than the text. The change cycle only asks whether a line
// equals what was last printed under its number, and a digest answers that
// in a few bytes, where the text would make the table as large as the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

// Bytes of a stored digest, without its terminator.
constexpr size_t kLineDigestSize = 10;

// Draws a fresh random key for every later digest. Run at each start, before
// the line table is filled: nobody who writes to the file can know the key,
// so nobody can craft a changed line with the digest of the old one.
void SeedLineDigest();

// Keys every later digest with seed (tests).
void SetLineDigestSeed(uint64_t seed);

// The keyed 64-bit digest of the length bytes at text, as kLineDigestSize
// bytes of seven bits each with the high bit set (so none is 0), then a
// terminator: a text value like any other for the table.
void DigestLine(const char* text, size_t length, char out[kLineDigestSize + 1]);

// The same keyed digest of raw bytes as 64 bits, in one call.
uint64_t DigestBytes(const void* bytes, size_t length);

// The same digest made in pieces: the digest of a run of lines as its bytes
// pass through a reader's buffer.
class BytesDigest {
 public:
  BytesDigest();
  ~BytesDigest();
  BytesDigest(const BytesDigest&) = delete;
  BytesDigest& operator=(const BytesDigest&) = delete;
  void Begin();
  void Add(const void* bytes, size_t length);
  // Of every byte added since Begin; the same as DigestBytes of them.
  uint64_t Value() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// True when a value of the line table (always a digest, so it holds at
// least kLineDigestSize + 1 bytes) is the digest.
inline bool SameDigest(const char* stored, const char* digest) {
  return std::memcmp(stored, digest, kLineDigestSize + 1) == 0;
}

// Platform code (RandomSeed.cpp): 64 bits from the system's random number
// generator. 0, or -1 when it could give none.
int SystemRandom64(uint64_t* value);
