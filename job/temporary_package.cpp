#include "job/temporary_package.h"

#include <mutex>

#include "platform/files.h"
#include "platform/process_end.h"
#include "platform/temp_files.h"

namespace job {
namespace {

std::mutex guard;
char16_t reservedPath[platform::kMaxPath] = {};

void RemoveLocked() {
  if (reservedPath[0] == u'\0') return;
  platform::DeleteFile(reservedPath);
  reservedPath[0] = u'\0';
}

}  // namespace

bool ReserveTempFile(char16_t (&path)[platform::kMaxPath]) {
  std::lock_guard<std::mutex> lock(guard);
  RemoveLocked();
  path[0] = u'\0';
  char16_t folder[platform::kMaxPath];
  if (!platform::GetTempFolder(folder) ||
      !platform::CreateTempFile(folder, kTempFilePrefix, reservedPath)) {
    reservedPath[0] = u'\0';
    return false;
  }
  return platform::WideCopy(path, reservedPath);
}

void RemoveTempFile() {
  std::lock_guard<std::mutex> lock(guard);
  RemoveLocked();
}

void RemoveTempFileAndEndAtOnce(int exitCode) {
  std::lock_guard<std::mutex> lock(guard);
  RemoveLocked();
  platform::EndProcessAtOnce(exitCode);
}

}  // namespace job
