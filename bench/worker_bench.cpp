// The application's worker path without its windows, for kva_bench.py
// worker: from the left soft key (F1) to the final question, as
// job::RunWorker runs it (temporary package, decryption, unpacking, its
// removal), with every question answered "Yes" and the ending recorded.
//   worker_bench CONTAINER DESTINATION PASSWORD   (absolute paths)
// Exit code 0 when the run reached the final question.
#include <cstdio>
#include <cstring>

#include "job/globals.h"
#include "job/worker.h"
#include "platform/device_path.h"
#include "platform/message_box.h"
#include "platform/process_end.h"
#include "res/program_strings.h"
#include "res/resource_ids.h"

namespace {

class Answers final : public platform::MessageBoxService {
 public:
  int Show(void*, const char16_t* text, const char16_t*, unsigned) override {
    char16_t keep[128] = {};
    platform::LoadString(job::instance, res::kIdsKeepOriginal, keep);
    reachedEnd = platform::WideEqual(text, keep);
    return platform::kAnswerYes;
  }
  bool reachedEnd = false;
};

class Ending final : public platform::ProcessEnding {
 public:
  void End(int) override {}
  void EndAtOnce(int) override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || std::strlen(argv[3]) >= sizeof job::passwordBytes ||
      !platform::ToDevicePath(argv[1], job::sourcePath) ||
      !platform::ToDevicePath(argv[2], job::destinationFolder)) {
    std::fprintf(stderr, "usage: worker_bench CONTAINER DESTINATION PASSWORD\n");
    return 2;
  }
  job::instance = res::ProgramInstance();
  std::memcpy(job::passwordBytes, argv[3], std::strlen(argv[3]) + 1);
  Answers answers;
  Ending ending;
  platform::SetMessageBoxService(&answers);
  platform::SetProcessEnding(&ending);
  job::RunWorker(nullptr);
  platform::SetProcessEnding(nullptr);
  platform::SetMessageBoxService(nullptr);
  return answers.reachedEnd ? 0 : 1;
}
