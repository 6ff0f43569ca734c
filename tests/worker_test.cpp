// The decryption worker on real containers (packed with PackPackage and
// encrypted with EncryptContainer): every ending, what each leaves on disk,
// the boxes it shows, and that the run always ends the process with 0.
#include "tests/worker_fixture.h"

namespace fs = std::filesystem;
using namespace test_support;

TEST_F(WorkerTest, SuccessAnsweredYesKeepsTheEncryptedFile) {
  fs::path tree = MakeTree();
  fs::path container = Seal(tree);
  fs::path out = dir_ / "out";
  fs::create_directories(out);
  boxes_.Answer(platform::kAnswerYes);
  Run(container, out);

  ASSERT_EQ(boxes_.boxes.size(), 1u);
  ExpectBox(0, res::kIdsKeepOriginal, res::kIdsAskCaption, kKeepQuestion);
  EXPECT_TRUE(SameTree(tree, out / "Отчёт"));
  EXPECT_TRUE(fs::exists(container));
  ExpectCleanEnding();
  // The bar ended at the last block of unpacking.
  EXPECT_EQ(job::progressState.lastPosition, 5006u);
}

TEST_F(WorkerTest, SuccessAnsweredNoDeletesTheEncryptedFile) {
  fs::path tree = MakeTree();
  fs::path container = Seal(tree);
  boxes_.Answer(platform::kAnswerNo);
  Run(container, dir_);
  EXPECT_TRUE(SameTree(tree, dir_ / "Отчёт"));
  EXPECT_FALSE(fs::exists(container));
  ExpectCleanEnding();
}

TEST_F(WorkerTest, DismissedSuccessQuestionKeepsTheEncryptedFile) {
  fs::path container = Seal(MakeTree());
  fs::create_directories(dir_ / "out");
  Run(container, dir_ / "out");  // no scripted answer: the box is dismissed
  EXPECT_TRUE(fs::exists(container));
  ExpectCleanEnding();
}

TEST_F(WorkerTest, MissingDestinationAnsweredNoEndsWithoutDecrypting) {
  fs::path container = Seal(MakeTree());
  fs::path out = dir_ / "out";
  // While the question is up, the temporary file is already reserved, in
  // the system temporary folder and named from the prefix.
  std::vector<fs::path> reserved;
  boxes_.onShow = [&] {
    for (const auto& entry : fs::directory_iterator(temp_)) reserved.push_back(entry.path());
  };
  boxes_.Answer(platform::kAnswerNo);
  Run(container, out);

  ASSERT_EQ(boxes_.boxes.size(), 1u) << "nothing after the question";
  ExpectBox(0, res::kIdsCreateFolder, res::kIdsAskCaption, kQuestion);
  EXPECT_FALSE(fs::exists(out));
  ASSERT_EQ(reserved.size(), 1u);
  EXPECT_EQ(reserved[0].filename().string().rfind("$kva@tmp", 0), 0u) << reserved[0];
  ExpectCleanEnding();
}

TEST_F(WorkerTest, MissingDestinationCreatedOnYes) {
  fs::path tree = MakeTree();
  fs::path container = Seal(tree);
  fs::path out = dir_ / "new";
  boxes_.Answer(platform::kAnswerYes);
  boxes_.Answer(platform::kAnswerYes);
  Run(container, out);
  ASSERT_EQ(boxes_.boxes.size(), 2u);
  ExpectBox(0, res::kIdsCreateFolder, res::kIdsAskCaption, kQuestion);
  ExpectBox(1, res::kIdsKeepOriginal, res::kIdsAskCaption, kKeepQuestion);
  EXPECT_TRUE(SameTree(tree, out / "Отчёт"));
  ExpectCleanEnding();
}

TEST_F(WorkerTest, FolderThatCannotBeCreated) {
  fs::path container = Seal(MakeTree());
  fs::path out = dir_ / "no such parent" / "out";  // one level only is created
  boxes_.Answer(platform::kAnswerYes);
  Run(container, out);
  ASSERT_EQ(boxes_.boxes.size(), 2u);
  ExpectBox(1, res::kIdsCannotCreate, res::kIdsErrorCaption, kError);
  EXPECT_FALSE(fs::exists(dir_ / "no such parent"));
  ExpectCleanEnding();
}

TEST_F(WorkerTest, FileInTheWayOfTheDestination) {
  fs::path container = Seal(MakeTree());
  WriteFile(dir_ / "out", "a file");
  Run(container, dir_ / "out");
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  ExpectBox(0, res::kIdsWrongFolder, res::kIdsErrorCaption, kError);
  EXPECT_EQ(ReadFile(dir_ / "out"), "a file");
  ExpectCleanEnding();
}

TEST_F(WorkerTest, WrongPasswordRemovesTheFolderItCreated) {
  fs::path container = Seal(MakeTree());
  fs::path out = dir_ / "new";
  boxes_.Answer(platform::kAnswerYes);
  Run(container, out, "другой");
  ASSERT_EQ(boxes_.boxes.size(), 2u);
  ExpectBox(1, res::kIdsWrongPassword, res::kIdsErrorCaption, kError);
  EXPECT_FALSE(fs::exists(out));
  EXPECT_TRUE(fs::exists(container));
  ExpectCleanEnding();
}

TEST_F(WorkerTest, WrongPasswordKeepsAFolderThatWasThere) {
  fs::path container = Seal(MakeTree());
  fs::create_directories(dir_ / "out");
  Run(container, dir_ / "out", "другой");
  ASSERT_EQ(boxes_.boxes.size(), 1u);
  ExpectBox(0, res::kIdsWrongPassword, res::kIdsErrorCaption, kError);
  EXPECT_TRUE(fs::is_directory(dir_ / "out"));
  ExpectCleanEnding();
}

TEST_F(WorkerTest, DamagedContainer) {
  fs::path container = Seal(MakeTree());
  fs::resize_file(container, fs::file_size(container) - 10);
  fs::path out = dir_ / "new";
  boxes_.Answer(platform::kAnswerYes);
  Run(container, out);
  ASSERT_EQ(boxes_.boxes.size(), 2u);
  ExpectBox(1, res::kIdsDecryptFailed, res::kIdsErrorCaption, kError);
  EXPECT_FALSE(fs::exists(out)) << "the folder this run created goes again";
  ExpectCleanEnding();
}

TEST_F(WorkerTest, UnpackingFailingHalfwayKeepsWhatWasExtracted) {
  fs::path tree = MakeTree();
  // The package loses the end of its last file's content.
  fs::path container = Seal(tree, 3);
  fs::path out = dir_ / "new";
  boxes_.Answer(platform::kAnswerYes);
  Run(container, out);
  ASSERT_EQ(boxes_.boxes.size(), 2u);
  ExpectBox(1, res::kIdsUnpackFailed, res::kIdsErrorCaption, kError);
  // The created folder stays, with the root and whatever came before the cut.
  ASSERT_TRUE(fs::is_directory(out / "Отчёт"));
  int complete = 0;
  for (const auto& entry : fs::recursive_directory_iterator(out / "Отчёт")) {
    fs::path original = tree / fs::relative(entry.path(), out / "Отчёт");
    if (entry.is_regular_file() && ReadFile(entry.path()) == ReadFile(original) &&
        entry.file_size() > 0) {
      ++complete;
    }
  }
  EXPECT_GE(complete, 1);
  EXPECT_TRUE(fs::exists(container));
  ExpectCleanEnding();
}

TEST_F(WorkerTest, NoTemporaryFileMeansNoDecryption) {
  fs::path container = Seal(MakeTree());
  ::setenv("TMPDIR", (dir_ / "missing").c_str(), 1);
  fs::path out = dir_ / "new";
  Run(container, out);
  ASSERT_EQ(boxes_.boxes.size(), 1u) << "no question about the folder";
  ExpectBox(0, res::kIdsDecryptFailed, res::kIdsErrorCaption, kError);
  EXPECT_FALSE(fs::exists(out));
  EXPECT_EQ(ending_.orderly, std::vector<int>{0});
  for (unsigned char byte : job::passwordBytes) ASSERT_EQ(byte, 0);
}
