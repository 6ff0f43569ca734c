// What the decryption job shares with the rest of the program.
//
// Start-up writes the instance and the source path, the main window the
// destination folder and the password bytes, all before the progress dialog
// starts the worker and never again. The progress dialog writes its own
// handles before starting the worker. The worker and the progress callback
// only read them, so none of them needs a lock.
#pragma once

#include "platform/code_page.h"
#include "platform/string_table.h"
#include "platform/wide_string.h"
#include "platform/window.h"

namespace job {

extern platform::ModuleInstance instance;
extern char16_t sourcePath[platform::kMaxPath];
extern char16_t destinationFolder[platform::kMaxPath];
// The password in the device's code page, NUL-terminated. Wiped when the
// run ends.
extern unsigned char passwordBytes[platform::kPasswordBytes];

extern platform::Window progressDialog;
extern platform::Window progressBar;  // its control 1001

void WipePassword();

}  // namespace job
