// The worker run on this thread with scripted boxes, a captured ending, a
// real progress bar (Qt offscreen), TMPDIR at the caller's folder, and a
// home with its trash (data/Trash) beside it.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QProgressBar>
#include <cstring>

#include "job/globals.h"
#include "job/progress_callback.h"
#include "job/worker.h"
#include "platform/ui_qt/testing.h"
#include "res/resource_ids.h"
#include "tests/captured_ending.h"
#include "tests/scripted_message_box.h"
#include "tests/test_support.h"

namespace test_support {

struct WorkerOutcome {
  std::vector<ScriptedMessageBox::Box> boxes;
  int bar = -1;  // the progress bar's position at the end
};

// Every ending ends the process once, in order, with 0, owns its boxes by
// the dialog, and leaves no temporary file and no password behind.
inline WorkerOutcome RunWorker(const std::filesystem::path& source, const std::filesystem::path& destination,
                               const std::filesystem::path& temp, const std::string& password = kPassword,
                               const std::vector<int>& answers = {}, const std::function<void()>& onShow = nullptr) {
  static int argc = 1;
  static char name[] = "test", *argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr && qputenv("QT_QPA_PLATFORM", "offscreen")) new QApplication(argc, argv);
  QWidget dialog;
  QProgressBar bar(&dialog);
  bar.setRange(0, 100);
  job::progressDialog = platform::qt::HandleOf(&dialog);
  job::progressBar = platform::qt::HandleOf(&bar);
  job::progressState = job::ProgressState{};
  job::instance = res::ProgramInstance();
  ::setenv("TMPDIR", temp.c_str(), 1);
  ::setenv("HOME", temp.parent_path().c_str(), 1);
  ::setenv("XDG_DATA_HOME", (temp.parent_path() / "data").c_str(), 1);
  EXPECT_TRUE(platform::WideCopy(job::sourcePath, DevicePath(source).c_str()) &&
              platform::WideCopy(job::destinationFolder, DevicePath(destination).c_str()));
  std::memset(job::passwordBytes, 0, sizeof job::passwordBytes);
  std::memcpy(job::passwordBytes, password.data(), password.size());
  ScriptedMessageBox boxes;
  for (int answer : answers) boxes.Answer(answer);
  boxes.onShow = onShow;
  CapturedEnding ending;
  job::RunWorker(job::progressDialog);
  job::progressDialog = nullptr;
  job::progressBar = nullptr;
  EXPECT_TRUE(ending.orderly == std::vector<int>{0} && ending.atOnce.empty());
  EXPECT_TRUE(Snapshot(temp).empty()) << "left in the temporary folder";
  EXPECT_EQ(std::string(reinterpret_cast<char*>(job::passwordBytes), sizeof job::passwordBytes),
            std::string(sizeof job::passwordBytes, '\0')) << "password not wiped";
  for (const auto& box : boxes.boxes) EXPECT_EQ(box.owner, platform::qt::HandleOf(&dialog));
  return {boxes.boxes, bar.value()};
}

// Exactly these boxes, each with its kind's caption and buttons: the two
// questions ask, everything else is an error.
inline void ExpectBoxes(const WorkerOutcome& outcome, const std::vector<std::uint32_t>& ids) {
  ASSERT_EQ(outcome.boxes.size(), ids.size());
  for (std::size_t i = 0; i < ids.size(); ++i) {
    char16_t text[128], caption[128];
    const bool asks = ids[i] == res::kIdsCreateFolder || ids[i] == res::kIdsKeepOriginal;
    platform::LoadString(res::ProgramInstance(), ids[i], text);
    platform::LoadString(res::ProgramInstance(), asks ? res::kIdsAskCaption : res::kIdsErrorCaption, caption);
    EXPECT_TRUE(outcome.boxes[i].text == text && outcome.boxes[i].caption == caption) << i;
    EXPECT_EQ(outcome.boxes[i].style, !asks ? platform::kButtonsOk | platform::kIconError
                                            : platform::kButtonsYesNo | (ids[i] == res::kIdsCreateFolder
                                                                             ? platform::kIconQuestion
                                                                             : platform::kIconNone));
  }
}

}  // namespace test_support
