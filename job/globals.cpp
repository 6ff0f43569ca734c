#include "job/globals.h"

#include "platform/secure_zero.h"

namespace job {

platform::ModuleInstance instance = nullptr;
char16_t sourcePath[platform::kMaxPath] = {};
char16_t destinationFolder[platform::kMaxPath] = {};
unsigned char passwordBytes[platform::kPasswordBytes] = {};

platform::Window progressDialog = nullptr;
platform::Window progressBar = nullptr;

void WipePassword() { platform::SecureZero(passwordBytes, sizeof passwordBytes); }

}  // namespace job
