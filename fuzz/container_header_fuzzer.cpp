// The container header check on arbitrary bytes.
#include <cstdint>

#include "fuzz/memory_reader.h"
#include "securefile/container_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MemoryReader reader(data, size);
  securefile::ContainerHeader header;
  if (securefile::ReadContainerHeader(reader, size, &header) == securefile::HeaderStatus::kOk) {
    // A header that passes promises that the whole ciphertext is there.
    if (28u + std::uint64_t{header.ciphertextLength} > size) __builtin_trap();
  }
  return 0;
}
