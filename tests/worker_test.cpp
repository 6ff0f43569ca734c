// The decryption worker on real containers (packed with PackPackage and
// encrypted with EncryptContainer): every ending, what each leaves on disk,
// the boxes it shows, and that the run always ends the process with 0.
#include "job/worker.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "job/globals.h"
#include "job/progress.h"
#include "job/temp_file.h"
#include "platform/code_page.h"
#include "platform/message_box.h"
#include "res/resource_ids.h"
#include "res/string_table.h"
#include "securefile/securefile.h"
#include "tests/captured_ending.h"
#include "tests/scripted_message_box.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;
using namespace test_support;

namespace {

const std::string kPassword = "пароль-1";
int dialogToken;  // stands for the progress dialog: the owner of every box
void* const kDialog = &dialogToken;

// The password in Windows-1251, as the main window converts it.
void ToCodePage(const std::string& password, unsigned char (&bytes)[platform::kPasswordBytes]) {
  std::u16string wide = fs::path(password).u16string();
  std::size_t length = 0;
  ASSERT_EQ(platform::PasswordToCodePage(wide.c_str(), wide.size(), bytes, &length),
            platform::PasswordConversion::kOk);
}

std::u16string Text(std::uint32_t id) {
  char16_t text[128];
  platform::LoadString(res::ProgramInstance(), id, text);
  return text;
}

class WorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ScratchDir();
    temp_ = dir_ / "tmp";
    fs::create_directories(temp_);
    savedTemp_ = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "";
    ::setenv("TMPDIR", temp_.c_str(), 1);
    job::instance = res::ProgramInstance();
    job::progressState = job::ProgressState{};
  }

  void TearDown() override {
    if (savedTemp_.empty()) {
      ::unsetenv("TMPDIR");
    } else {
      ::setenv("TMPDIR", savedTemp_.c_str(), 1);
    }
  }

  // A small tree: a nested folder, an empty folder, text and binary files.
  fs::path MakeTree() {
    fs::path tree = dir_ / "src" / "Отчёт";
    WriteFile(tree / "readme.txt", "hello\n");
    WriteFile(tree / "data" / "blob.bin", RandomBytes(5000, 7));
    WriteFile(tree / "data" / "deeper" / "empty.txt", "");
    fs::create_directories(tree / "empty folder");
    return tree;
  }

  // Packs `tree` and encrypts the package into a container. `cut` bytes are
  // taken off the end of the package first, to make it fail halfway.
  fs::path Seal(const fs::path& tree, std::uintmax_t cut = 0) {
    fs::path package = dir_ / "package.pkg";
    fs::path container = dir_ / "secret.kva";
    EXPECT_EQ(PackPackage(DevicePath(tree).c_str(), DevicePath(package).c_str(), 0, 0, nullptr,
                          nullptr, res::ProgramInstance(), nullptr),
              0);
    if (cut > 0) fs::resize_file(package, fs::file_size(package) - cut);
    unsigned char password[platform::kPasswordBytes];
    ToCodePage(kPassword, password);
    EXPECT_EQ(EncryptContainer(
                  DevicePath(package).c_str(), DevicePath(container).c_str(), password,
                  static_cast<std::int32_t>(std::strlen(reinterpret_cast<const char*>(password))),
                  3, nullptr, 0, nullptr, res::ProgramInstance()),
              0);
    fs::remove(package);
    return container;
  }

  // Sets the run's inputs as start-up and the main window leave them, and
  // runs the worker on this thread.
  void Run(const fs::path& source, const fs::path& destination,
           const std::string& password = kPassword) {
    std::u16string sourceDevice = DevicePath(source);
    std::u16string destinationDevice = DevicePath(destination);
    ASSERT_TRUE(platform::WideCopy(job::sourcePath, sourceDevice.c_str()));
    ASSERT_TRUE(platform::WideCopy(job::destinationFolder, destinationDevice.c_str()));
    ToCodePage(password, job::passwordBytes);
    job::RunWorker(kDialog);
  }

  // Every run ends the process once, in order, with 0, leaves no temporary
  // file and no password behind, and owns its boxes by the dialog.
  void ExpectCleanEnding() {
    EXPECT_EQ(ending_.orderly, std::vector<int>{0});
    EXPECT_TRUE(ending_.atOnce.empty());
    EXPECT_TRUE(fs::is_empty(temp_)) << "temporary file left behind";
    for (unsigned char byte : job::passwordBytes) ASSERT_EQ(byte, 0) << "password not wiped";
    for (const auto& box : boxes_.boxes) EXPECT_EQ(box.owner, kDialog);
  }

  void ExpectBox(std::size_t index, std::uint32_t text, std::uint32_t caption, unsigned style) {
    ASSERT_LT(index, boxes_.boxes.size());
    EXPECT_EQ(boxes_.boxes[index].text, Text(text));
    EXPECT_EQ(boxes_.boxes[index].caption, Text(caption));
    EXPECT_EQ(boxes_.boxes[index].style, style);
  }

  static bool SameTree(const fs::path& a, const fs::path& b) {
    return RunCommand("diff -r " + ShellQuote(a.string()) + " " + ShellQuote(b.string()) +
                      " >/dev/null") == 0;
  }

  fs::path dir_;
  fs::path temp_;
  std::string savedTemp_;
  ScriptedMessageBox boxes_;  // installed while the fixture lives
  CapturedEnding ending_;
};

constexpr unsigned kQuestion = platform::kButtonsYesNo | platform::kIconQuestion;
constexpr unsigned kError = platform::kButtonsOk | platform::kIconError;
constexpr unsigned kKeepQuestion = platform::kButtonsYesNo | platform::kIconNone;

}  // namespace

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
