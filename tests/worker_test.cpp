// The worker's endings on real containers: its boxes and what each leaves.
#include "tests/worker_fixture.h"

namespace fs = std::filesystem;
using namespace test_support;
using platform::kAnswerNo;
using platform::kAnswerYes;

namespace {

enum class Left { kNothing, kWhole, kPart };  // what the destination holds of the tree

struct Ending {
  const char* name;
  const char* destination;  // below the test's folder; "out" exists beforehand
  std::string password;
  std::uintmax_t cutContainer, cutPackage;  // bytes taken off the end
  std::vector<int> answers;
  std::vector<std::uint32_t> boxes;
  Left left;
  bool destinationStays, containerStays;
};
void PrintTo(const Ending& e, std::ostream* out) { *out << e.name; }

const std::uint32_t kAsk = res::kIdsCreateFolder, kKeep = res::kIdsKeepOriginal;
const int kYes = kAnswerYes, kNo = kAnswerNo;
const Left kWhole = Left::kWhole, kNothing = Left::kNothing;
// A level the file system refuses (a name of 260 bytes), below two it can make.
const std::string kRefusedLevel = [] {
  std::string path = "new/a/";
  for (int i = 0; i < 130; ++i) path += "ж";
  return path;
}();
const Ending kEndings[] = {
    {"success, original kept", "out", kPassword, 0, 0, {kYes}, {kKeep}, kWhole, true, true},
    {"success, original to the trash", "out", kPassword, 0, 0, {kNo}, {kKeep}, kWhole, true, false},
    {"success, question dismissed", "out", kPassword, 0, 0, {}, {kKeep}, kWhole, true, true},
    {"missing folder, not made", "new", kPassword, 0, 0, {kNo}, {kAsk}, kNothing, false, true},
    {"missing folders, made", "new/a/b", kPassword, 0, 0, {kYes, kYes}, {kAsk, kKeep}, kWhole, true, true},
    {"folder cannot be made, levels made removed", kRefusedLevel.c_str(), kPassword, 0, 0, {kYes},
     {kAsk, res::kIdsCannotCreate}, kNothing, false, true},
    {"wrong password, made folders removed", "new/a", "другой", 0, 0, {kYes}, {kAsk, res::kIdsWrongPassword},
     kNothing, false, true},
    {"wrong password, folder kept", "out", "другой", 0, 0, {}, {res::kIdsWrongPassword}, kNothing, true, true},
    {"damaged, made folders removed", "new/a/b", kPassword, 10, 0, {kYes}, {kAsk, res::kIdsDecryptFailed}, kNothing,
     false, true},
    {"unpacking fails halfway", "new", kPassword, 0, 3, {kYes}, {kAsk, res::kIdsUnpackFailed}, Left::kPart, true, true}};

class WorkerEndings : public ::testing::TestWithParam<Ending> {};

}  // namespace

TEST_P(WorkerEndings, BoxesAndWhatIsLeft) {
  const Ending& e = GetParam();
  const fs::path dir = ScratchDir(), tree = dir / "src" / "Отчёт", out = dir / e.destination;
  WriteFile(tree / "readme.txt", "hello\n");
  WriteFile(tree / "data" / "blob.bin", RandomBytes(5000, 7));
  WriteFile(tree / "data" / "deeper" / "empty.txt", "");
  fs::create_directories(tree / "empty folder");
  fs::create_directories(dir / "out");
  fs::create_directories(dir / "tmp");
  ASSERT_EQ(Pack(tree, dir / "package"), 0);
  fs::resize_file(dir / "package", fs::file_size(dir / "package") - e.cutPackage);
  const std::string kName = "тайна ~1.kva";  // in the trash's note: escaped as in URLs
  const fs::path source = dir / kName;
  ASSERT_EQ(Encrypt(dir / "package", source), 0);
  fs::resize_file(source, fs::file_size(source) - e.cutContainer);
  const std::string container = ReadFile(source);
  // The temporary file is made before the questions, and never has a name
  // in the temporary folder that anyone could open or swap.
  bool named = false;
  const auto look = [&] { named = named || !Snapshot(dir / "tmp").empty(); };
  const WorkerOutcome outcome = RunWorker(source, out, dir / "tmp", e.password, e.answers, look);
  ExpectBoxes(outcome, e.boxes);
  EXPECT_FALSE(named);
  // Every level a run made goes with the destination; "out" was there.
  std::error_code tooLong;  // for the level refused
  const bool stays = fs::exists(out, tooLong);
  EXPECT_TRUE(stays == e.destinationStays &&
              fs::exists(dir / *fs::path(e.destination).begin()) == (e.destinationStays || out == dir / "out"));
  // "No" puts the container in the trash (the test's own) with where it came from.
  const fs::path trash = dir / "data" / "Trash";
  EXPECT_TRUE(ReadFile(e.containerStays ? source : trash / "files" / kName) == container &&
              fs::exists(source) == e.containerStays);
  EXPECT_TRUE(e.containerStays || ReadFile(trash / "info" / (kName + ".trashinfo")).find(
                                      "Path=" + dir.string() + "/%D1%82%D0%B0%D0%B9%D0%BD%D0%B0%20~1.kva\n") != std::string::npos);
  const Tree left = stays ? Snapshot(out / "Отчёт") : Tree{}, whole = Snapshot(tree);
  EXPECT_TRUE(e.left != Left::kWhole || (left == whole && outcome.bar == 100));
  EXPECT_TRUE(e.left != Left::kNothing || left.empty());
  if (e.left == Left::kPart) {  // entries before the cut are whole, the one cut short is not there
    EXPECT_TRUE(fs::is_directory(out / "Отчёт") && left != whole);
    for (const auto& [path, what] : left) EXPECT_EQ(what, whole.at(path)) << path;
  }
}

INSTANTIATE_TEST_SUITE_P(Table, WorkerEndings, ::testing::ValuesIn(kEndings),
                         [](const auto& p) { return "Ending" + std::to_string(p.index); });

// Without a temporary file there is nowhere safe to decrypt to: said first.
TEST(Worker, NoTemporaryFileMeansNoDecryption) {
  const fs::path dir = ScratchDir();
  WriteFile(dir / "c.kva", "~KVA");
  ExpectBoxes(RunWorker(dir / "c.kva", dir / "new", dir / "missing"), {res::kIdsDecryptFailed});
  EXPECT_FALSE(fs::exists(dir / "new"));
}

// "No" trashes the container only if it is still the file decrypted: here
// unpacking puts a file of its name in its place.
TEST(Worker, DeletesOnlyTheContainerItDecrypted) {
  const fs::path dir = ScratchDir();
  WriteFile(dir / "src" / "d" / "c.kva", "an unpacked file");
  fs::create_directories(dir / "out" / "d");
  fs::create_directories(dir / "tmp");
  ASSERT_EQ(Pack(dir / "src" / "d", dir / "package") + Encrypt(dir / "package", dir / "out" / "d" / "c.kva"), 0);
  ExpectBoxes(RunWorker(dir / "out" / "d" / "c.kva", dir / "out", dir / "tmp", kPassword, {kAnswerNo}), {kKeep});
  EXPECT_EQ(ReadFile(dir / "out" / "d" / "c.kva"), "an unpacked file");
  // Where no trash takes it (here its folder is a file), "No" deletes it.
  WriteFile(dir / "data" / "Trash", "not a folder"), fs::create_directories(dir / "out2");
  ASSERT_EQ(Encrypt(dir / "package", dir / "c.kva"), 0);
  ExpectBoxes(RunWorker(dir / "c.kva", dir / "out2", dir / "tmp", kPassword, {kAnswerNo}), {kKeep});
  EXPECT_TRUE(!fs::exists(dir / "c.kva") && fs::exists(dir / "out2" / "d" / "c.kva"));
}
