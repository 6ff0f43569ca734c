// The cryptographic primitives under libkvacore's construction.
//
// kvacore.cpp builds the digest, the key and IV derivation, the streams and
// their padding from these few calls, once; each crypto library supplies
// them in its own file: primitives_openssl.cpp (OpenSSL 3 libcrypto, the
// Linux build) and primitives_gcrypt.cpp (libgcrypt, the Windows build).
// Both must give the same bytes: tests/cipher_test.cpp checks each against
// the openssl command.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kvacore {

inline constexpr std::size_t kSha256Size = 32;

// scrypt (RFC 7914) of `password` (may be empty) into `out`.
bool Scrypt(const unsigned char* password, std::size_t passwordLength, const unsigned char* salt,
            std::size_t saltLength, std::uint64_t n, std::uint32_t r, std::uint32_t p,
            unsigned char* out, std::size_t outLength);

// HMAC-SHA256 of the concatenation of up to two pieces of data (the second
// may be empty), as HKDF's expansion step needs.
bool HmacSha256(const unsigned char* key, std::size_t keyLength, const unsigned char* data,
                std::size_t dataLength, const unsigned char* more, std::size_t moreLength,
                unsigned char (&mac)[kSha256Size]);

// Wipes key material in a way the compiler keeps.
void Cleanse(void* buffer, std::size_t size);

enum class CipherKind {
  kAes128Cfb,  // 128-bit feedback; any length, partial blocks carried between calls
  kDes3Cbc,    // three-key Triple DES, 24-byte key, 8-byte IV
  kAes128Cbc,
};

// One running cipher without padding: each Run chains on from the last, as
// if all the pieces had come in one call. CBC pieces are whole blocks.
class CipherState;

CipherState* NewCipherState();
void FreeCipherState(CipherState* state);
bool StartCipher(CipherState* state, CipherKind kind, bool encrypt, const unsigned char* key,
                 const unsigned char* iv);
bool RunCipher(CipherState* state, const unsigned char* input, std::size_t length,
               unsigned char* output);
// Forgets the key schedule and the chaining state.
void ResetCipher(CipherState* state);

}  // namespace kvacore
