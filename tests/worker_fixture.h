// The worker test fixture, shared by the worker's own tests and the fault
// injection tests: real containers (packed with PackPackage, encrypted with
// EncryptContainer), a scripted message box, a captured process ending, and
// TMPDIR pointed at a private folder so that the temporary file can be seen.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "job/globals.h"
#include "job/progress.h"
#include "job/temp_file.h"
#include "job/worker.h"
#include "platform/code_page.h"
#include "platform/message_box.h"
#include "res/resource_ids.h"
#include "res/string_table.h"
#include "securefile/securefile.h"
#include "tests/captured_ending.h"
#include "tests/scripted_message_box.h"
#include "tests/test_support.h"

namespace test_support {

inline const std::string kWorkerPassword = "пароль-1";
inline int dialogToken;  // stands for the progress dialog: the owner of every box
inline void* const kDialog = &dialogToken;

// The password in Windows-1251, as the main window converts it.
inline void ToCodePage(const std::string& password, unsigned char (&bytes)[platform::kPasswordBytes]) {
  std::u16string wide = std::filesystem::path(password).u16string();
  std::size_t length = 0;
  ASSERT_EQ(platform::PasswordToCodePage(wide.c_str(), wide.size(), bytes, &length),
            platform::PasswordConversion::kOk);
}

inline std::u16string Text(std::uint32_t id) {
  char16_t text[128];
  platform::LoadString(res::ProgramInstance(), id, text);
  return text;
}

class WorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = ScratchDir();
    temp_ = dir_ / "tmp";
    std::filesystem::create_directories(temp_);
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
  std::filesystem::path MakeTree() {
    std::filesystem::path tree = dir_ / "src" / "Отчёт";
    WriteFile(tree / "readme.txt", "hello\n");
    WriteFile(tree / "data" / "blob.bin", RandomBytes(5000, 7));
    WriteFile(tree / "data" / "deeper" / "empty.txt", "");
    std::filesystem::create_directories(tree / "empty folder");
    return tree;
  }

  // Packs `tree` and encrypts the package into a container. `cut` bytes are
  // taken off the end of the package first, to make it fail halfway.
  std::filesystem::path Seal(const std::filesystem::path& tree, std::uintmax_t cut = 0) {
    std::filesystem::path package = dir_ / "package.pkg";
    std::filesystem::path container = dir_ / "secret.kva";
    EXPECT_EQ(PackPackage(DevicePath(tree).c_str(), DevicePath(package).c_str(), 0, 0, nullptr,
                          nullptr, res::ProgramInstance(), nullptr),
              0);
    if (cut > 0) std::filesystem::resize_file(package, std::filesystem::file_size(package) - cut);
    unsigned char password[platform::kPasswordBytes];
    ToCodePage(kWorkerPassword, password);
    EXPECT_EQ(EncryptContainer(
                  DevicePath(package).c_str(), DevicePath(container).c_str(), password,
                  static_cast<std::int32_t>(std::strlen(reinterpret_cast<const char*>(password))),
                  3, nullptr, 0, nullptr, res::ProgramInstance()),
              0);
    std::filesystem::remove(package);
    return container;
  }

  // Sets the run's inputs as start-up and the main window leave them, and
  // runs the worker on this thread.
  void Run(const std::filesystem::path& source, const std::filesystem::path& destination,
           const std::string& password = kWorkerPassword) {
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
    EXPECT_TRUE(std::filesystem::is_empty(temp_)) << "temporary file left behind";
    for (unsigned char byte : job::passwordBytes) ASSERT_EQ(byte, 0) << "password not wiped";
    for (const auto& box : boxes_.boxes) EXPECT_EQ(box.owner, kDialog);
  }

  void ExpectBox(std::size_t index, std::uint32_t text, std::uint32_t caption, unsigned style) {
    ASSERT_LT(index, boxes_.boxes.size());
    EXPECT_EQ(boxes_.boxes[index].text, Text(text));
    EXPECT_EQ(boxes_.boxes[index].caption, Text(caption));
    EXPECT_EQ(boxes_.boxes[index].style, style);
  }

  static bool SameTree(const std::filesystem::path& a, const std::filesystem::path& b) {
    return RunCommand("diff -r " + ShellQuote(a.string()) + " " + ShellQuote(b.string()) +
                      " >/dev/null") == 0;
  }

  std::filesystem::path dir_;
  std::filesystem::path temp_;
  std::string savedTemp_;
  ScriptedMessageBox boxes_;  // installed while the fixture lives
  CapturedEnding ending_;
};

inline constexpr unsigned kQuestion = platform::kButtonsYesNo | platform::kIconQuestion;
inline constexpr unsigned kError = platform::kButtonsOk | platform::kIconError;
inline constexpr unsigned kKeepQuestion = platform::kButtonsYesNo | platform::kIconNone;

}  // namespace test_support
