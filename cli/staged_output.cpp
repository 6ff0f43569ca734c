#include "cli/staged_output.h"

#include "cli/messages.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/temp_files.h"

namespace cli {
namespace {

// The folder part of a device path, with its trailing backslash.
void FolderOf(const char16_t* path, char16_t (&folder)[platform::kMaxPath]) {
  platform::WideCopy(folder, path);
  std::size_t cut = platform::WideLength(folder);
  while (cut > 0 && folder[cut - 1] != u'\\') --cut;
  folder[cut] = u'\0';
}

}  // namespace

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
    *error = "cannot create a file beside " + Quoted(shownName) + ": " + LastErrorText();
    return false;
  }
  reserved_ = true;
  platform::WatchForInterruption(temporary_.text);
  return true;
}

bool StagedOutput::Commit(std::string* error) {
  if (!reserved_) {
    *error = "cannot move the output into place";
    return false;
  }
  // Without --force a file that appeared meanwhile is still not replaced.
  if (!platform::MoveIntoPlace(temporary_.text, final_.text, overwrite_)) {
    *error = "cannot write " + Quoted(shownName_) + ": " + LastErrorText();
    Discard();
    return false;
  }
  reserved_ = false;
  platform::StopWatching();
  return true;
}

void StagedOutput::Discard() {
  if (!reserved_) return;
  platform::DeleteFile(temporary_.text);
  reserved_ = false;
  platform::StopWatching();
}

}  // namespace cli
