// The cipher library contract: a password digest and three chunked ciphers.
//
// libkvacore.so (kvacore.dll on Windows) is our own implementation of it, on
// OpenSSL 3 libcrypto on Linux and libgcrypt on Windows, with the same bytes
// from both; the construction (and every constant a compatible reader needs)
// is described in cipher/README.md. The container operations in securefile/
// are its only callers.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#if defined(KVACORE_BUILDING)
#define KVACORE_API __declspec(dllexport)
#else
#define KVACORE_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define KVACORE_API __attribute__((visibility("default")))
#else
#define KVACORE_API
#endif

extern "C" {

// Writes 32 bytes of digest of `data` (`length` bytes, 0 allowed) to `digest`.
// Callers use the first 16. Returns 0 on success, non-zero on failure (the
// digest buffer is then zero-filled).
KVACORE_API std::int32_t DLL_GenHASH(const unsigned char* data, std::int32_t length,
                                     unsigned char* digest);

// Encrypts or decrypts one piece of a stream. Non-final pieces are 1024 bytes
// and give 1024 bytes; the final piece (finalFlag 1) holds the rest of the
// stream. `output` must hold inputLength + 32 bytes. `key` is the 16-byte key
// digest (keyLength 16). Identifiers: 1 AES-128-CFB, 2 DES-EDE3-CBC,
// 3 AES-128-CBC. Returns 0 on success, non-zero on failure.
KVACORE_API std::int32_t DLL_Encrypt(const unsigned char* input, std::int32_t inputLength,
                                     unsigned char* output, std::int32_t* outputLength,
                                     std::int32_t cipherIdentifier, const unsigned char* key,
                                     std::int32_t keyLength, std::int32_t finalFlag);
KVACORE_API std::int32_t DLL_Decrypt(const unsigned char* input, std::int32_t inputLength,
                                     unsigned char* output, std::int32_t* outputLength,
                                     std::int32_t cipherIdentifier, const unsigned char* key,
                                     std::int32_t keyLength, std::int32_t finalFlag);

}  // extern "C"
