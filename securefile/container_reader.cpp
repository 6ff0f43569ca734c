#include "securefile/container_reader.h"

#include <algorithm>
#include <cstring>

#include "cipher/kvacore.h"
#include "platform/secure_zero.h"
#include "securefile/container_key.h"
#include "securefile/securefile.h"

namespace securefile {

HeaderStatus ReadContainerHeader(ByteReader& source, std::uint64_t available,
                                 ContainerHeader* header) {
  unsigned char field[4] = {};
  std::uint32_t got = 0;
  if (!source.Read(field, 4, &got)) return HeaderStatus::kReadFailed;
  if (got != 4 || std::memcmp(field, kMagic, 4) != 0) return HeaderStatus::kBadMagic;

  // Only byte 4 names the cipher (read whenever anything is); bytes 5 to 7
  // are ignored.
  if (!source.Read(field, 4, &got)) return HeaderStatus::kReadFailed;
  if (got == 0) return HeaderStatus::kTruncated;
  if (field[0] < kMinCipher || field[0] > kMaxCipher) return HeaderStatus::kBadCipher;
  header->cipherIdentifier = field[0];

  if (!source.Read(field, 4, &got)) return HeaderStatus::kReadFailed;
  if (got != 4) return HeaderStatus::kTruncated;
  header->ciphertextLength = ReadLittleEndian32(field);
  // 64-bit arithmetic: neither the sum nor a file of 4 GiB or more can wrap.
  if (std::uint64_t{kHeaderSize} + header->ciphertextLength > available) {
    return HeaderStatus::kTruncated;
  }

  if (!source.Read(header->verifier, kVerifierSize, &got)) return HeaderStatus::kReadFailed;
  if (got != kVerifierSize) return HeaderStatus::kTruncated;
  return HeaderStatus::kOk;
}

ContainerDecryptor::~ContainerDecryptor() { Wipe(); }

void ContainerDecryptor::Wipe() {
  if (streamRunning_) {
    // An operation abandoned part way (a read failed, the consumer stopped)
    // still has a stream in the cipher library: a final call ends it there,
    // and the library wipes its key material.
    platform::WipedBuffer<64> scratch;
    std::int32_t length = 0;
    DLL_Decrypt(input_, 0, scratch.items, &length, header_.cipherIdentifier, key_,
                static_cast<std::int32_t>(kKeySize), 1);
    streamRunning_ = false;
  }
  platform::SecureZero(key_, sizeof key_);
  platform::SecureZero(input_, sizeof input_);
  finished_ = true;
}

std::int32_t ContainerDecryptor::Begin(const ContainerHeader& header,
                                       const unsigned char* password,
                                       std::int32_t passwordLength) {
  header_ = header;
  platform::WipedBuffer<kVerifierSize> verifier;
  if (!DeriveContainerKey(password, passwordLength, key_, verifier.items)) {
    Wipe();
    return kResultFailed;
  }
  bool matches = std::memcmp(verifier.items, header.verifier, kVerifierSize) == 0;
  if (!matches) {
    Wipe();
    return kResultWrongPassword;
  }

  // The last piece is decrypted with the final flag. When L is a positive
  // multiple of 1024 that piece is a whole chunk: block ciphers produce such
  // lengths whenever the plaintext's last partial chunk was within one unit
  // of 1024 bytes, and its padding must be checked and stripped like any
  // other final piece, so it is not treated as an ordinary chunk.
  std::uint32_t chunks = header.ciphertextLength / kChunkSize;
  std::uint32_t rest = header.ciphertextLength % kChunkSize;
  if (rest == 0 && chunks > 0) {
    plainPieces_ = chunks - 1;
    lastLength_ = kChunkSize;
  } else {
    plainPieces_ = chunks;
    lastLength_ = rest;
  }
  nextIndex_ = 0;
  finished_ = false;
  return kResultOk;
}

std::int32_t ContainerDecryptor::Next(ByteReader& source, unsigned char* plain, Piece* piece) {
  if (finished_) return kResultFailed;
  bool final = nextIndex_ >= plainPieces_;
  std::uint32_t length = final ? lastLength_ : kChunkSize;
  piece->index = nextIndex_;
  piece->final = final;
  piece->length = 0;

  if (final) std::memset(plain, 0, kChunkSize);
  if (length == 0) {  // L = 0: no cipher call at all
    Wipe();
    return kResultOk;
  }

  std::uint32_t got = 0;
  std::int32_t outLength = 0;
  bool read = source.Read(input_, length, &got) && got == length;
  bool ok = read && DLL_Decrypt(input_, static_cast<std::int32_t>(length), plain, &outLength,
                                header_.cipherIdentifier, key_,
                                static_cast<std::int32_t>(kKeySize), final ? 1 : 0) == 0;
  // A final or failed cipher call ends the library's stream itself; a
  // successful non-final one leaves it running until the final piece.
  if (read) streamRunning_ = ok && !final;
  if (!ok) {
    Wipe();
    return kResultFailed;
  }
  if (final) {
    if (outLength < 0 || outLength > static_cast<std::int32_t>(kCipherOutputSize)) {
      Wipe();
      return kResultFailed;
    }
    piece->length = static_cast<std::uint32_t>(outLength);
    Wipe();
  } else {
    // A full chunk always decrypts to a full chunk.
    piece->length = kChunkSize;
    ++nextIndex_;
  }
  return kResultOk;
}

DecryptingReader::~DecryptingReader() { platform::SecureZero(plain_, sizeof plain_); }

bool DecryptingReader::Read(void* buffer, std::uint32_t size, std::uint32_t* got) {
  *got = 0;
  // A failed piece finishes the decryptor too: without this check the next
  // read would report a clean end of the stream.
  if (failed_) return false;
  auto* out = static_cast<unsigned char*>(buffer);
  while (*got < size) {
    if (begin_ == end_) {
      if (decryptor_.Finished()) break;
      ContainerDecryptor::Piece piece;
      if (decryptor_.Next(source_, plain_, &piece) != kResultOk) {
        failed_ = true;
        return false;
      }
      begin_ = 0;
      end_ = piece.length;
      continue;
    }
    std::uint32_t take = std::min(end_ - begin_, size - *got);
    std::memcpy(out + *got, plain_ + begin_, take);
    begin_ += take;
    *got += take;
  }
  return true;
}

bool DecryptingReader::Drain(std::uint64_t* discarded) {
  *discarded = end_ - begin_;
  begin_ = end_ = 0;
  while (!decryptor_.Finished()) {
    ContainerDecryptor::Piece piece;
    if (failed_ || decryptor_.Next(source_, plain_, &piece) != kResultOk) {
      failed_ = true;
      return false;
    }
    *discarded += piece.length;
  }
  return !failed_;
}

}  // namespace securefile
