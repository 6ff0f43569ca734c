// tessaron FILE: decrypts FILE, a KVA container, into a folder of the
// user's choice.
#include "app/start_up.h"
#include "platform/dump_protection.h"
#include "platform/process_entry.h"

int main(int argc, char** argv) {
  // Before anything secret is in memory: the password, the key, plaintext.
  platform::KeepSecretsOutOfDumps();
  return platform::RunProcess(argc, argv, app::RunProgram, app::AnswerWithoutWindows);
}
