#include "Utf8Forms.h"

namespace {

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Whether the lead and second byte can begin a well-formed form: the
// second byte ranges that exclude overlong forms, surrogates and code
// points past 10FFFF.
bool CanBegin(unsigned char lead, unsigned char second) {
  if (lead < 0xC2 || lead > 0xF4) return false;
  if (lead == 0xE0) return second >= 0xA0;
  if (lead == 0xED) return second <= 0x9F;
  if (lead == 0xF0) return second >= 0x90;
  if (lead == 0xF4) return second <= 0x8F;
  return true;
}

}  // namespace

size_t NextUtf8Form(const unsigned char* bytes, size_t count, uint32_t* code) {
  unsigned char lead = bytes[0];
  if (lead < 0x80) {
    *code = lead;
    return 1;
  }
  size_t need = lead >= 0xC0 && lead <= 0xDF   ? 2
                : lead >= 0xE0 && lead <= 0xEF ? 3
                : lead >= 0xF0 && lead <= 0xF7 ? 4
                                               : 1;
  size_t have = 1;
  while (have < need && have < count && IsContinuation(bytes[have])) ++have;
  if (need == 1) {
    *code = kMalformedForm;
    return 1;
  }
  if (have < need) {
    bool cut = have == count && lead >= 0xC2 && lead <= 0xF4 && (have < 2 || CanBegin(lead, bytes[1]));
    *code = cut ? kCutOffForm : kMalformedForm;
    return have;
  }
  uint32_t value = lead & (0x7Fu >> need);
  for (size_t i = 1; i < need; ++i) value = value << 6 | (bytes[i] & 0x3Fu);
  static const uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
  bool wellFormed = value >= kLeast[need] && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
  *code = wellFormed ? value : kMalformedForm;
  return need;
}
