#include "cli/staged_output.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/messages.h"
#include "platform/device_path.h"
#include "platform/files.h"
#include "platform/temp_files.h"

namespace cli {
namespace {

// The temporary file to remove if the process is interrupted. Only the
// signal handler and the (single) staged output touch it.
char pendingHostPath[platform::kMaxHostPath];
volatile std::sig_atomic_t pendingSet = 0;

extern "C" void RemovePendingAndExit(int signalNumber) {
  if (pendingSet != 0) ::unlink(pendingHostPath);
  platform::RemoveStagingFilesNow();  // a file unpacking is writing
  ::signal(signalNumber, SIG_DFL);
  ::raise(signalNumber);
}

void WatchForInterruption(const char16_t* path) {
  if (!platform::ToHostPath(path, pendingHostPath)) return;
  pendingSet = 1;
}

void StopWatching() { pendingSet = 0; }

// The folder part of a device path, with its trailing backslash.
void FolderOf(const char16_t* path, char16_t (&folder)[platform::kMaxPath]) {
  platform::WideCopy(folder, path);
  std::size_t cut = platform::WideLength(folder);
  while (cut > 0 && folder[cut - 1] != u'\\') --cut;
  folder[cut] = u'\0';
}

mode_t DefaultFileMode() {
  mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

void RemovePartialOutputsOnInterruption() {
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) ::signal(signalNumber, RemovePendingAndExit);
}

StagedOutput::~StagedOutput() { Discard(); }

bool StagedOutput::Reserve(const DevicePath& finalPath, const std::string& shownName,
                           bool overwrite, std::string* error) {
  final_ = finalPath;
  shownName_ = shownName;
  overwrite_ = overwrite;
  platform::FileAttributes attributes;
  if (platform::GetLinkAttributes(final_.text, &attributes)) {
    if (attributes.isFolder) {
      *error = Quoted(shownName) + " is a folder";
      return false;
    }
    if (!overwrite) {
      *error = Quoted(shownName) + " already exists (use --force to replace it)";
      return false;
    }
  }
  char16_t folder[platform::kMaxPath];
  FolderOf(final_.text, folder);
  if (!platform::CreateTempFile(folder, u".kva-partial-", temporary_.text)) {
    *error = "cannot create a file beside " + Quoted(shownName) + ": " + std::strerror(errno);
    return false;
  }
  reserved_ = true;
  WatchForInterruption(temporary_.text);
  return true;
}

bool StagedOutput::Commit(std::string* error) {
  char from[platform::kMaxHostPath];
  char to[platform::kMaxHostPath];
  if (!reserved_ || !platform::ToHostPath(temporary_.text, from) ||
      !platform::ToHostPath(final_.text, to)) {
    *error = "cannot move the output into place";
    return false;
  }
  ::chmod(from, DefaultFileMode());
  // Without --force a file that appeared meanwhile is still not replaced.
  bool moved = overwrite_ ? ::rename(from, to) == 0
                          : ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0;
  if (!moved && !overwrite_ && errno == EINVAL) {
    // File systems without RENAME_NOREPLACE: a hard link refuses to replace.
    moved = ::link(from, to) == 0;
    if (moved) ::unlink(from);
  }
  if (!moved) {
    *error = "cannot write " + Quoted(shownName_) + ": " + std::strerror(errno);
    Discard();
    return false;
  }
  reserved_ = false;
  StopWatching();
  return true;
}

void StagedOutput::Discard() {
  if (!reserved_) return;
  platform::DeleteFile(temporary_.text);
  reserved_ = false;
  StopWatching();
}

}  // namespace cli
