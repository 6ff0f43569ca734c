// Unpacking arbitrary bytes must never crash, and never create or change
// anything outside the destination folder, however hostile the package.
//
// Every input finds the same sandbox (one per process, so -jobs/-workers
// runs do not meet; rebuilt after any input that changed it), below the
// root that fuzz/fuzz_support.h chooses:
//
//   <root>/kva-unpack-fuzz-<pid>/         the sandbox's parent: holds only box/
//     box/                                the sandbox: holds only dest/, outside/
//       outside/secret                    files the package must never reach
//       outside/secret2
//       outside/folder/                   (empty)
//       dest/                             the destination given to UnpackStream
//         L -> ../outside/folder          links planted in the destination,
//         A -> <absolute>/outside/folder  which the product must not follow:
//         F -> ../outside/secret          seeds have entries with these names
//         H    (a hard link to outside/secret2)
//
// After each input: the parent and the sandbox hold only what was put there;
// outside/ holds exactly its three names, the files with their contents and
// the folder empty; below dest/ the only links are the planted ones, still
// pointing where they did, and everything else is a plain file or folder.
// UnpackStream never makes links, so a link anywhere else, or any new name
// outside dest/, means a write went through a link or a ".." got through.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "fuzz/memory_reader.h"
#include "fuzz/fuzz_support.h"
#include "securefile/unpack.h"

namespace fs = std::filesystem;

namespace {

const char kSecret[] = "outside: must stay as it is";

struct Layout {
  fs::path parent;   // <root>/kva-unpack-fuzz-<pid>
  fs::path box;      // parent/box
  fs::path outside;  // box/outside
  fs::path dest;     // box/dest
  std::u16string deviceDest;
};

void Build(const Layout& s);

const Layout& Sandbox() {
  static const Layout layout = [] {
    Layout made;
    made.parent = SandboxParent("kva-unpack-fuzz-");
    made.box = made.parent / "box";
    made.outside = made.box / "outside";
    made.dest = made.box / "dest";
    made.deviceDest = DevicePath(made.dest);
    Build(made);
    return made;
  }();
  return layout;
}

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteSecret(const fs::path& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << kSecret;
}

void PlantLinks(const Layout& s) {
  fs::create_directory(s.dest);
  fs::create_directory_symlink("../outside/folder", s.dest / "L");
  fs::create_directory_symlink(s.outside / "folder", s.dest / "A");
  fs::create_symlink("../outside/secret", s.dest / "F");
  fs::create_hard_link(s.outside / "secret2", s.dest / "H");
}

// Builds the whole sandbox, once per process.
void Build(const Layout& s) {
  fs::remove_all(s.parent);
  fs::create_directories(s.outside / "folder");
  WriteSecret(s.outside / "secret");
  WriteSecret(s.outside / "secret2");
  PlantLinks(s);
}

// After an input that created or replaced anything, dest is made afresh;
// most inputs change nothing, and then nothing is rewritten (deleting files
// is slow on some disks). outside/ is never rebuilt: it was just checked.
void Reset(const Layout& s) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(s.dest)) {
    names.insert(entry.path().filename().string());
  }
  if (names == std::set<std::string>{"A", "F", "H", "L"} &&
      fs::equivalent(s.dest / "H", s.outside / "secret2")) {
    return;  // as planted: L, A, F checked as links, H the same file
  }
  fs::remove_all(s.dest);
  PlantLinks(s);
}

std::set<std::string> Names(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

void CheckNothingEscaped(const Layout& s) {
  CHECK(Names(s.parent) == std::set<std::string>{"box"});
  CHECK((Names(s.box) == std::set<std::string>{"dest", "outside"}));
  CHECK((Names(s.outside) == std::set<std::string>{"folder", "secret", "secret2"}));
  CHECK(fs::is_directory(fs::symlink_status(s.outside / "folder")));
  CHECK(fs::is_empty(s.outside / "folder"));
  for (const char* name : {"secret", "secret2"}) {
    CHECK(fs::is_regular_file(fs::symlink_status(s.outside / name)));
    CHECK(Contents(s.outside / name) == kSecret);
  }

  // The planted links are still there: the product refuses to replace a link.
  for (const char* name : {"L", "A", "F"}) {
    CHECK(fs::is_symlink(fs::symlink_status(s.dest / name)));
  }
  // Below dest: only plain files and folders, and the planted links as they
  // were. recursive_directory_iterator does not descend through links.
  for (auto it = fs::recursive_directory_iterator(s.dest); it != fs::recursive_directory_iterator();
       ++it) {
    fs::file_status status = it->symlink_status();
    if (fs::is_symlink(status)) {
      const fs::path& at = it->path();
      CHECK(it.depth() == 0);
      std::string name = at.filename().string();
      fs::path target = fs::read_symlink(at);
      if (name == "L") {
        CHECK(target == "../outside/folder");
      } else if (name == "A") {
        CHECK(target == s.outside / "folder");
      } else if (name == "F") {
        CHECK(target == "../outside/secret");
      } else {
        CHECK(false);  // a link the product made
      }
    } else {
      CHECK(fs::is_regular_file(status) || fs::is_directory(status));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Sandbox();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Layout& sandbox = Sandbox();
  MemoryReader reader(data, size);
  securefile::UnpackStream(reader, sandbox.deviceDest.c_str(), nullptr);
  CheckNothingEscaped(sandbox);
  Reset(sandbox);
  return 0;
}
