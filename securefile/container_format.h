// The KVA container format.
//
//   offset  size  field
//   0       4     magic "~KVA"
//   4       4     cipher field: byte 4 is the cipher identifier, 5-7 are 0
//   8       4     ciphertext length L, unsigned 32-bit little-endian
//   12      16    password verifier
//   28      L     ciphertext, produced in 1024-byte chunks
//
// A container may sit at an offset inside a longer file, behind a carrier.
#pragma once

#include <cstddef>
#include <cstdint>

namespace securefile {

inline constexpr unsigned char kMagic[4] = {'~', 'K', 'V', 'A'};
inline constexpr std::uint32_t kHeaderSize = 28;
inline constexpr std::uint32_t kChunkSize = 1024;
// The cipher library may return up to 32 bytes more than it was given.
inline constexpr std::uint32_t kCipherOutputSize = kChunkSize + 32;
inline constexpr std::size_t kKeySize = 16;
inline constexpr std::size_t kVerifierSize = 16;
inline constexpr std::size_t kDigestSize = 32;

// Readers accept identifiers 1 to 8 and leave their meaning to the cipher
// library; writers produce 1 (AES-128-CFB), 2 (DES-EDE3-CBC), 3 (AES-128-CBC).
inline constexpr std::uint8_t kMinCipher = 1;
inline constexpr std::uint8_t kMaxCipher = 8;

// Texts of the progress reports, looked up in the caller's module instance.
inline constexpr std::uint32_t kTextProcessingDone = 61410;
inline constexpr std::uint32_t kTextProcessingFiles = 61412;
inline constexpr std::size_t kProgressTextSize = 128;

// The cipher unit of a writable identifier, or 0 for any other.
constexpr std::uint32_t CipherUnit(std::int32_t cipherIdentifier) {
  switch (cipherIdentifier) {
    case 1: return 1;
    case 2: return 8;
    case 3: return 16;
    default: return 0;
  }
}

// Ciphertext length for a plaintext of `plaintextSize` bytes: block ciphers
// always add 1 to `unit` bytes of padding. Computed in 64 bits so that the
// caller can see when it no longer fits the header's 32-bit field.
constexpr std::uint64_t CiphertextLength(std::uint64_t plaintextSize, std::uint32_t unit) {
  return unit == 1 ? plaintextSize : (plaintextSize + unit) / unit * unit;
}

inline std::uint32_t ReadLittleEndian32(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

inline void WriteLittleEndian32(std::uint32_t value, unsigned char* bytes) {
  bytes[0] = static_cast<unsigned char>(value);
  bytes[1] = static_cast<unsigned char>(value >> 8);
  bytes[2] = static_cast<unsigned char>(value >> 16);
  bytes[3] = static_cast<unsigned char>(value >> 24);
}

}  // namespace securefile
