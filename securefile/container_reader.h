// Reading containers: the header, the password check, and the ciphertext
// piece by piece. DecryptContainer writes the pieces to a file; kva's open
// reads them as a plain stream (DecryptingReader) straight into the unpacker.
#pragma once

#include <cstdint>

#include "securefile/byte_stream.h"
#include "securefile/container_format.h"

namespace securefile {

struct ContainerHeader {
  std::uint8_t cipherIdentifier = 0;
  std::uint32_t ciphertextLength = 0;
  unsigned char verifier[kVerifierSize] = {};
};

enum class HeaderStatus {
  kOk,
  kReadFailed,  // the source could not be read
  kBadMagic,    // not "~KVA"
  kBadCipher,   // identifier 0 or above 8
  kTruncated,   // the file ends before 28 + L bytes
};

// Reads and checks the 28-byte header from `source`, positioned at the
// container's first byte; `available` is the number of bytes from there to
// the end of the file. The checks run in the format's order: magic, cipher
// identifier, length against the file, so a damaged or foreign file is
// refused before any password is looked at.
HeaderStatus ReadContainerHeader(ByteReader& source, std::uint64_t available,
                                 ContainerHeader* header);

// One decryption stream: the key, and where it is in the ciphertext.
class ContainerDecryptor {
 public:
  struct Piece {
    std::uint32_t index = 0;   // zero-based chunk index
    std::uint32_t length = 0;  // plaintext bytes in the output
    bool final = false;        // decrypted with the final flag: the last piece
  };

  ContainerDecryptor() = default;
  ~ContainerDecryptor();
  ContainerDecryptor(const ContainerDecryptor&) = delete;
  ContainerDecryptor& operator=(const ContainerDecryptor&) = delete;

  // Derives the key from the password and compares its verifier with the
  // header's. Returns 0, -2 for a wrong password, -1 if no key could be
  // derived.
  std::int32_t Begin(const ContainerHeader& header, const unsigned char* password,
                     std::int32_t passwordLength);

  // Number of full 1024-byte chunks in the ciphertext (the reports' total).
  std::uint32_t ChunkCount() const { return header_.ciphertextLength / kChunkSize; }
  bool Finished() const { return finished_; }

  // Reads the next piece of ciphertext from `source` and decrypts it into
  // `plain` (kCipherOutputSize bytes). Returns 0 or -1; after -1 or the final
  // piece, the stream is finished and the key wiped.
  std::int32_t Next(ByteReader& source, unsigned char* plain, Piece* piece);

 private:
  void Wipe();

  ContainerHeader header_;
  unsigned char key_[kKeySize] = {};
  std::uint32_t nextIndex_ = 0;
  std::uint32_t plainPieces_ = 0;  // pieces decrypted without the final flag
  std::uint32_t lastLength_ = 0;   // ciphertext bytes of the final piece (0: none)
  bool finished_ = true;
  bool streamRunning_ = false;  // the cipher library holds a stream for us
  unsigned char input_[kChunkSize];
};

// The plaintext of a container as a stream, for consumers that read rather
// than receive chunks. Reading past the last piece gives the end of the
// stream; a piece that fails to decrypt fails the read, and every read after
// it.
class DecryptingReader final : public ByteReader {
 public:
  DecryptingReader(ContainerDecryptor& decryptor, ByteReader& source)
      : decryptor_(decryptor), source_(source) {}
  ~DecryptingReader() override;
  bool Read(void* buffer, std::uint32_t size, std::uint32_t* got) override;

  // Decrypts and discards the rest of the plaintext, so that the final
  // piece (and its padding) is checked even when the consumer stopped
  // reading early. Returns false if a piece fails; *discarded counts the
  // plaintext bytes thrown away.
  bool Drain(std::uint64_t* discarded);
  // True once a piece failed to read or decrypt.
  bool Failed() const { return failed_; }

 private:
  ContainerDecryptor& decryptor_;
  ByteReader& source_;
  unsigned char plain_[kCipherOutputSize];
  std::uint32_t begin_ = 0;
  std::uint32_t end_ = 0;
  bool failed_ = false;
};

}  // namespace securefile
