// Unpacking arbitrary bytes never changes anything outside the destination.
// The sandbox holds outside/ (secret, secret2, an empty folder) and dest/,
// with planted links (named as in the seeds): L -> ../outside/folder, A ->
// the same, absolute, F -> ../outside/secret, H a hard link to secret2.
// UnpackStream makes no links: any other below dest/ means a write went
// through one, or a ".." got through.
#include <fstream>
#include <set>

#include "fuzz/fuzz_support.h"
#include "securefile/unpack.h"

namespace fs = std::filesystem;

namespace {

const std::string kSecret = "outside: must stay as it is";
fs::path box, outside, dest;

void Plant() {
  fs::create_directory(dest);
  fs::create_directory_symlink("../outside/folder", dest / "L");
  fs::create_directory_symlink(outside / "folder", dest / "A");
  fs::create_symlink("../outside/secret", dest / "F");
  fs::create_hard_link(outside / "secret2", dest / "H");
}

std::set<std::string> Names(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename());
  return names;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  box = Sandbox("kva-unpack-fuzz-"), outside = box / "outside", dest = box / "dest";
  fs::create_directories(outside / "folder");
  for (const char* name : {"secret", "secret2"}) std::ofstream(outside / name) << kSecret;
  Plant();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MemoryReader reader(data, size);
  securefile::UnpackStream(reader, DevicePath(dest).c_str(), nullptr);
  CHECK(Names(box.parent_path()) == std::set<std::string>{"box"});
  CHECK((Names(box) == std::set<std::string>{"dest", "outside"}));
  CHECK((Names(outside) == std::set<std::string>{"folder", "secret", "secret2"}));
  CHECK(fs::is_directory(fs::symlink_status(outside / "folder")) && fs::is_empty(outside / "folder"));
  for (const char* name : {"secret", "secret2"}) {
    std::ifstream in(outside / name, std::ios::binary);
    CHECK(fs::is_regular_file(fs::symlink_status(outside / name)) &&
          std::string(std::istreambuf_iterator<char>(in), {}) == kSecret);
  }
  for (const auto& [name, target] : {std::pair<const char*, fs::path>{"L", "../outside/folder"},
                                     {"A", outside / "folder"}, {"F", "../outside/secret"}}) {
    CHECK(fs::is_symlink(fs::symlink_status(dest / name)) && fs::read_symlink(dest / name) == target);
  }
  for (auto it = fs::recursive_directory_iterator(dest); it != fs::recursive_directory_iterator(); ++it) {
    const fs::file_status status = it->symlink_status();
    const std::string name = it->path().filename();
    CHECK(fs::is_regular_file(status) || fs::is_directory(status) ||
          (fs::is_symlink(status) && it.depth() == 0 && (name == "L" || name == "A" || name == "F")));
  }
  if (Names(dest) != std::set<std::string>{"A", "F", "H", "L"} || !fs::equivalent(dest / "H", outside / "secret2")) {
    fs::remove_all(dest);
    Plant();
  }
  return 0;
}
