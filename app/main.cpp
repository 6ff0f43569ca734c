// tessaron FILE: decrypts FILE, a KVA container, into a folder of the
// user's choice.
#include "app/start_up.h"
#include "platform/process_entry.h"

int main(int argc, char** argv) {
  return platform::RunProcess(argc, argv, app::RunProgram, app::AnswerWithoutWindows);
}
