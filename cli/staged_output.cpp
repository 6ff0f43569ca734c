#include "cli/staged_output.h"

#include "cli/messages.h"

namespace cli {

bool StagedOutput::Reserve(const DevicePath& finalPath, const std::string& shownName,
                           bool overwrite, std::string* error) {
  shownName_ = shownName;
  overwrite_ = overwrite;
  platform::FileAttributes attributes;
  if (platform::GetLinkAttributes(finalPath.text, &attributes)) {
    if (attributes.isFolder) {
      *error = Quoted(shownName) + " is a folder";
      return false;
    }
    if (!overwrite) {
      *error = Quoted(shownName) + " already exists (use --force to replace it)";
      return false;
    }
  }
  // The folder part of the path (with its trailing backslash: the root
  // stays a root) and the name after it.
  char16_t folder[platform::kMaxPath];
  platform::WideCopy(folder, finalPath.text);
  std::size_t cut = platform::WideLength(folder);
  while (cut > 0 && folder[cut - 1] != u'\\') --cut;
  platform::WideCopy(name_, folder + cut);
  folder[cut] = u'\0';
  if (!folder_.Open(folder) || !file_.CreateUnnamedIn(folder_)) {
    *error = "cannot create a file beside " + Quoted(shownName) + ": " + LastErrorText();
    return false;
  }
  return true;
}

bool StagedOutput::Commit(std::string* error) {
  // Without --force a file that appeared meanwhile is still not replaced.
  auto replacing = overwrite_ ? platform::File::Replacing::kFileOrLink
                              : platform::File::Replacing::kNothing;
  if (!file_.Commit(folder_, name_, replacing)) {
    bool appeared = !overwrite_ && platform::LastError() == platform::FileExistsError();
    *error = appeared ? Quoted(shownName_) + " appeared meanwhile (use --force to replace it)"
                      : "cannot write " + Quoted(shownName_) + ": " + LastErrorText();
    file_.Close();
    return false;
  }
  if (!file_.Close()) {
    *error = "cannot write " + Quoted(shownName_) + ": " + LastErrorText();
    return false;
  }
  return true;
}

}  // namespace cli
