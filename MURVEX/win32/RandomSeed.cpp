#include <windows.h>
#include <bcrypt.h>

#include "LineDigest.h"

int SystemRandom64(uint64_t* value) {
  NTSTATUS status = BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(value), sizeof *value,
                                    BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  return BCRYPT_SUCCESS(status) ? 0 : -1;
}
