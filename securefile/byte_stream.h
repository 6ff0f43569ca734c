// Byte streams between the operations' cores and their ends.
//
// Each operation is written once, against these two interfaces: the
// path-to-path operations connect them to files, kva's seal and open connect
// a packer straight to an encryptor and a decryptor straight to an unpacker,
// so no plain package ever has to touch the disk between the two steps.
#pragma once

#include <cstdint>

#include "platform/files.h"

namespace securefile {

class ByteReader {
 public:
  virtual ~ByteReader() = default;
  // Reads up to `size` bytes; `*got` is less than `size` only at the end of
  // the stream. False on an error.
  virtual bool Read(void* buffer, std::uint32_t size, std::uint32_t* got) = 0;
};

class ByteWriter {
 public:
  virtual ~ByteWriter() = default;
  // Writes all `size` bytes, or fails.
  virtual bool Write(const void* buffer, std::uint32_t size) = 0;
};

class FileReader final : public ByteReader {
 public:
  explicit FileReader(platform::File& file) : file_(file) {}
  bool Read(void* buffer, std::uint32_t size, std::uint32_t* got) override {
    return file_.Read(buffer, size, got);
  }

 private:
  platform::File& file_;
};

class FileWriter final : public ByteWriter {
 public:
  explicit FileWriter(platform::File& file) : file_(file) {}
  bool Write(const void* buffer, std::uint32_t size) override { return file_.Write(buffer, size); }

 private:
  platform::File& file_;
};

}  // namespace securefile
