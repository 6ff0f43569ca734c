// The key and password verifier of a container.
#pragma once

#include <cstdint>

#include "securefile/container_format.h"

namespace securefile {

// The key digest is the first 16 bytes of the cipher library's digest of
// the password bytes; the verifier stored in the header is the first 16
// bytes of the digest of that key. Returns false if the library could not
// digest: nothing may then be encrypted or decrypted, since the buffers
// would hold no key at all.
bool DeriveContainerKey(const unsigned char* password, std::int32_t passwordLength,
                        unsigned char (&key)[kKeySize], unsigned char (&verifier)[kVerifierSize]);

}  // namespace securefile
