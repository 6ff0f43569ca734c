// A process-ending service for tests: records each ending instead of
// ending the process.
#pragma once

#include <vector>

#include "platform/process_end.h"

namespace test_support {

class CapturedEnding final : public platform::ProcessEnding {
 public:
  CapturedEnding() { platform::SetProcessEnding(this); }
  ~CapturedEnding() override { platform::SetProcessEnding(nullptr); }

  void End(int exitCode) override { orderly.push_back(exitCode); }
  void EndAtOnce(int exitCode) override { atOnce.push_back(exitCode); }

  std::vector<int> orderly;
  std::vector<int> atOnce;
};

}  // namespace test_support
