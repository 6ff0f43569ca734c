#include "securefile/container_key.h"

#include <cstring>

#include "cipher/kvacore.h"
#include "platform/secure_zero.h"

namespace securefile {

bool DeriveContainerKey(const unsigned char* password, std::int32_t passwordLength,
                        unsigned char (&key)[kKeySize], unsigned char (&verifier)[kVerifierSize]) {
  unsigned char keyDigest[kDigestSize] = {};
  unsigned char verifierDigest[kDigestSize] = {};
  bool ok = DLL_GenHASH(password, passwordLength, keyDigest) == 0 &&
            DLL_GenHASH(keyDigest, static_cast<std::int32_t>(kKeySize), verifierDigest) == 0;
  std::memcpy(key, keyDigest, kKeySize);
  std::memcpy(verifier, verifierDigest, kVerifierSize);
  platform::SecureZero(keyDigest, sizeof keyDigest);
  platform::SecureZero(verifierDigest, sizeof verifierDigest);
  if (!ok) {
    platform::SecureZero(key, sizeof key);
    platform::SecureZero(verifier, sizeof verifier);
  }
  return ok;
}

}  // namespace securefile
