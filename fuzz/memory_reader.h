// A byte stream over the fuzzer's input.
#pragma once

#include <cstring>

#include "securefile/byte_stream.h"

class MemoryReader final : public securefile::ByteReader {
 public:
  MemoryReader(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
  bool Read(void* buffer, std::uint32_t size, std::uint32_t* got) override {
    std::size_t take = size_ - at_ < size ? size_ - at_ : size;
    std::memcpy(buffer, data_ + at_, take);
    at_ += take;
    *got = static_cast<std::uint32_t>(take);
    return true;
  }

 private:
  const unsigned char* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};
