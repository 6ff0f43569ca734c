// What the fuzz targets share: the check that stops a run, a byte stream
// over the input, and the sandboxes of the file-system fuzzers.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "securefile/byte_stream.h"

// A broken invariant stops the run at once, so that libFuzzer keeps the input.
#define CHECK(condition) \
  do {                   \
    if (!(condition)) __builtin_trap(); \
  } while (0)

// The input as a stream that counts what was taken from it.
class MemoryReader final : public securefile::ByteReader {
 public:
  MemoryReader(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
  bool Read(void* buffer, std::uint32_t size, std::uint32_t* got) override {
    *got = static_cast<std::uint32_t>(std::min<std::size_t>(size_ - at_, size));
    if (*got > 0) std::memcpy(buffer, data_ + at_, *got);
    at_ += *got;
    return true;
  }
  std::size_t Position() const { return at_; }

 private:
  const unsigned char* data_;
  std::size_t size_, at_ = 0;
};

// This process's own folder, removed at exit: in $TMPDIR if set, else in
// /dev/shm (files in memory cost far less), else the system's temporary one.
inline std::filesystem::path Sandbox(const char* name) {
  namespace fs = std::filesystem;
  static fs::path made;
  const char* tmpdir = std::getenv("TMPDIR");
  made = ((tmpdir == nullptr || *tmpdir == '\0') && ::access("/dev/shm", W_OK) == 0 ? fs::path("/dev/shm")
                                                                                   : fs::temp_directory_path()) /
         (name + std::to_string(::getpid()));
  fs::remove_all(made);
  fs::create_directories(made / "box");
  std::atexit([] { std::error_code ignored; fs::remove_all(made, ignored); });
  return made / "box";
}

inline std::u16string DevicePath(const std::filesystem::path& path) {
  std::u16string device = path.u16string();
  std::replace(device.begin(), device.end(), u'/', u'\\');
  return device;
}
