#include "securefile/container_key.h"

#include <cstring>

#include "cipher/kvacore.h"
#include "platform/secure_zero.h"

namespace securefile {

bool DeriveContainerKey(const unsigned char* password, std::int32_t passwordLength,
                        unsigned char (&key)[kKeySize], unsigned char (&verifier)[kVerifierSize]) {
  platform::WipedBuffer<kDigestSize> keyDigest{};
  platform::WipedBuffer<kDigestSize> verifierDigest{};
  bool ok = DLL_GenHASH(password, passwordLength, keyDigest.items) == 0 &&
            DLL_GenHASH(keyDigest.items, static_cast<std::int32_t>(kKeySize), verifierDigest.items) == 0;
  std::memcpy(key, keyDigest.items, kKeySize);
  std::memcpy(verifier, verifierDigest.items, kVerifierSize);
  if (!ok) {
    platform::SecureZero(key, sizeof key);
    platform::SecureZero(verifier, sizeof verifier);
  }
  return ok;
}

}  // namespace securefile
