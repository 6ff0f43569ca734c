// Unpacking arbitrary bytes must never crash, and never create anything
// outside the destination folder, however hostile the package.
#include <cstdint>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "fuzz/memory_reader.h"
#include "securefile/unpack.h"

namespace fs = std::filesystem;

namespace {

// A sandbox per process: <tmp>/kva-unpack-fuzz-<pid>/dest, with nothing
// beside dest.
const fs::path& Sandbox() {
  static const fs::path sandbox =
      fs::temp_directory_path() / ("kva-unpack-fuzz-" + std::to_string(::getpid()));
  return sandbox;
}

std::u16string DevicePath(const fs::path& path) {
  std::u16string device = path.u16string();
  for (char16_t& c : device) {
    if (c == u'/') c = u'\\';
  }
  return device;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fs::path& sandbox = Sandbox();
  fs::remove_all(sandbox);
  fs::create_directories(sandbox / "dest");
  MemoryReader reader(data, size);
  securefile::UnpackStream(reader, DevicePath(sandbox / "dest").c_str(), nullptr);
  for (const auto& entry : fs::directory_iterator(sandbox)) {
    if (entry.path().filename() != "dest") __builtin_trap();  // escaped the destination
  }
  return 0;
}
