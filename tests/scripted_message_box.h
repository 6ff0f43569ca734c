// A message-box service for tests: records every box and answers from a
// script (kAnswerNone once the script runs out). `onShow`, when set, runs
// while the box is up, to look at what the caller has done so far.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/message_box.h"

namespace test_support {

class ScriptedMessageBox final : public platform::MessageBoxService {
 public:
  struct Box {
    void* owner;
    std::u16string text;
    std::u16string caption;
    unsigned style;
  };

  ScriptedMessageBox() { platform::SetMessageBoxService(this); }
  ~ScriptedMessageBox() override { platform::SetMessageBoxService(nullptr); }

  void Answer(int answer) { answers_.push_back(answer); }

  int Show(void* owner, const char16_t* text, const char16_t* caption, unsigned style) override {
    boxes.push_back({owner, text, caption, style});
    if (onShow) onShow();
    if (answers_.empty()) return platform::kAnswerNone;
    int answer = answers_.front();
    answers_.pop_front();
    return answer;
  }

  std::vector<Box> boxes;
  std::function<void()> onShow;

 private:
  std::deque<int> answers_;
};

}  // namespace test_support
