#include "securefile/container_writer.h"

#include <cstring>

#include "cipher/kvacore.h"
#include "platform/secure_zero.h"
#include "securefile/container_key.h"
#include "securefile/securefile.h"

namespace securefile {

ContainerEncryptor::~ContainerEncryptor() { Wipe(); }

void ContainerEncryptor::Wipe() {
  if (streamRunning_) {
    // Abandoned part way: a final call ends the cipher library's stream,
    // and with it the library's copy of the key.
    std::int32_t length = 0;
    DLL_Encrypt(output_, 0, output_, &length, cipherIdentifier_, key_,
                static_cast<std::int32_t>(kKeySize), 1);
    streamRunning_ = false;
  }
  platform::SecureZero(key_, sizeof key_);
  platform::SecureZero(output_, sizeof output_);
  active_ = false;
}

std::int32_t ContainerEncryptor::Begin(ByteWriter& sink, std::int32_t cipherIdentifier,
                                       std::uint64_t plaintextSize,
                                       const unsigned char* password,
                                       std::int32_t passwordLength) {
  Wipe();
  std::uint32_t unit = CipherUnit(cipherIdentifier);
  // The header holds L in 32 bits: refuse what would wrap rather than
  // announce a wrong length.
  if (unit != 0 && CiphertextLength(plaintextSize, unit) > 0xFFFFFFFFu) return kResultFailed;

  if (!sink.Write(kMagic, 4)) return kResultFailed;
  unsigned char field[4] = {static_cast<unsigned char>(cipherIdentifier & 0xFF), 0, 0, 0};
  if (!sink.Write(field, 4)) return kResultFailed;
  if (unit == 0) return kResultFailed;

  WriteLittleEndian32(static_cast<std::uint32_t>(CiphertextLength(plaintextSize, unit)), field);
  if (!sink.Write(field, 4)) return kResultFailed;

  platform::WipedBuffer<kVerifierSize> verifier;
  if (!DeriveContainerKey(password, passwordLength, key_, verifier.items)) return kResultFailed;
  bool written = sink.Write(verifier.items, kVerifierSize);
  if (!written) {
    Wipe();
    return kResultFailed;
  }

  cipherIdentifier_ = cipherIdentifier;
  plaintextSize_ = plaintextSize;
  written_ = 0;
  active_ = true;
  return kResultOk;
}

std::int32_t ContainerEncryptor::PutChunk(ByteWriter& sink, const unsigned char* chunk) {
  std::int32_t outLength = 0;
  bool encrypted = false;
  if (active_ && written_ + kChunkSize <= plaintextSize_) {
    encrypted = DLL_Encrypt(chunk, static_cast<std::int32_t>(kChunkSize), output_, &outLength,
                            cipherIdentifier_, key_, static_cast<std::int32_t>(kKeySize), 0) == 0;
    streamRunning_ = encrypted;  // a failed call has ended the library's stream
  }
  bool ok = encrypted && sink.Write(output_, kChunkSize);
  if (!ok) {
    Wipe();
    return kResultFailed;
  }
  written_ += kChunkSize;
  return kResultOk;
}

std::int32_t ContainerEncryptor::Finish(ByteWriter& sink, const unsigned char* rest,
                                        std::uint32_t length) {
  std::int32_t outLength = 0;
  bool called = active_ && length < kChunkSize && written_ + length == plaintextSize_;
  bool ok = called &&
            DLL_Encrypt(rest, static_cast<std::int32_t>(length), output_, &outLength,
                        cipherIdentifier_, key_, static_cast<std::int32_t>(kKeySize), 1) == 0 &&
            outLength >= 0 && outLength <= static_cast<std::int32_t>(kCipherOutputSize) &&
            sink.Write(output_, static_cast<std::uint32_t>(outLength));
  if (called) streamRunning_ = false;  // the final call ended the stream
  Wipe();
  return ok ? kResultOk : kResultFailed;
}

EncryptingWriter::~EncryptingWriter() { platform::SecureZero(chunk_, sizeof chunk_); }

bool EncryptingWriter::Write(const void* buffer, std::uint32_t size) {
  const auto* data = static_cast<const unsigned char*>(buffer);
  while (!failed_ && size > 0) {
    std::uint32_t take = kChunkSize - filled_ < size ? kChunkSize - filled_ : size;
    std::memcpy(chunk_ + filled_, data, take);
    filled_ += take;
    data += take;
    size -= take;
    if (filled_ == kChunkSize) {
      failed_ = encryptor_.PutChunk(sink_, chunk_) != kResultOk;
      filled_ = 0;
    }
  }
  return !failed_;
}

std::int32_t EncryptingWriter::Finish() {
  if (failed_) return kResultFailed;
  std::int32_t result = encryptor_.Finish(sink_, chunk_, filled_);
  filled_ = 0;
  failed_ = true;  // the stream is over
  return result;
}

}  // namespace securefile
