// Writing containers: the header, then the plaintext chunk by chunk.
// EncryptContainer feeds it from a file; kva's seal feeds it straight from
// the packer through EncryptingWriter.
#pragma once

#include <cstdint>

#include "securefile/byte_stream.h"
#include "securefile/container_format.h"

namespace securefile {

// One encryption stream: the key, and how much plaintext it still expects.
class ContainerEncryptor {
 public:
  ContainerEncryptor() = default;
  ~ContainerEncryptor();
  ContainerEncryptor(const ContainerEncryptor&) = delete;
  ContainerEncryptor& operator=(const ContainerEncryptor&) = delete;

  // Writes the 28-byte header for a plaintext of `plaintextSize` bytes to
  // `sink`, field by field: magic, cipher field, then (once the identifier is
  // known to be 1, 2 or 3) the length and the verifier. Returns 0 or -1; a
  // plaintext whose ciphertext length does not fit 32 bits is refused before
  // anything is written.
  std::int32_t Begin(ByteWriter& sink, std::int32_t cipherIdentifier, std::uint64_t plaintextSize,
                     const unsigned char* password, std::int32_t passwordLength);

  // Number of full 1024-byte chunks in the plaintext (the reports' total).
  std::uint32_t ChunkCount() const { return static_cast<std::uint32_t>(plaintextSize_ / kChunkSize); }

  // Encrypts and writes one full chunk. Returns 0 or -1.
  std::int32_t PutChunk(ByteWriter& sink, const unsigned char* chunk);
  // Encrypts and writes the final piece, the remaining 0 to 1023 bytes, and
  // ends the stream. Fails when the plaintext did not have the size that the
  // header announced. Returns 0 or -1.
  std::int32_t Finish(ByteWriter& sink, const unsigned char* rest, std::uint32_t length);

 private:
  void Wipe();

  std::int32_t cipherIdentifier_ = 0;
  std::uint64_t plaintextSize_ = 0;
  std::uint64_t written_ = 0;  // plaintext bytes encrypted so far
  unsigned char key_[kKeySize] = {};
  bool active_ = false;
  bool streamRunning_ = false;  // the cipher library holds a stream for us
  unsigned char output_[kCipherOutputSize];
};

// A plain stream into a container: buffers whatever it is given into full
// chunks for the encryptor. Finish() ends the container.
class EncryptingWriter final : public ByteWriter {
 public:
  EncryptingWriter(ContainerEncryptor& encryptor, ByteWriter& sink)
      : encryptor_(encryptor), sink_(sink) {}
  ~EncryptingWriter() override;
  bool Write(const void* buffer, std::uint32_t size) override;
  std::int32_t Finish();

 private:
  ContainerEncryptor& encryptor_;
  ByteWriter& sink_;
  unsigned char chunk_[kChunkSize];
  std::uint32_t filled_ = 0;
  bool failed_ = false;
};

}  // namespace securefile
