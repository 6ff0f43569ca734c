// An output file that appears only when it is complete.
//
// The output's folder is opened at once and the output is written into a
// file there that has no name yet (platform::File::CreateUnnamedIn), held
// open: nobody can swap what is being written for another file, an
// existing file of the output's name is untouched until Commit() names the
// new one, and a failure, an interruption or an early return leaves
// nothing behind, since a file without a name goes with its last handle.
#pragma once

#include <string>

#include "cli/paths.h"
#include "platform/files.h"

namespace cli {

class StagedOutput {
 public:
  StagedOutput() = default;
  StagedOutput(const StagedOutput&) = delete;
  StagedOutput& operator=(const StagedOutput&) = delete;

  // Makes the file for `finalPath`. Without `overwrite`, an existing file
  // there is an error.
  bool Reserve(const DevicePath& finalPath, const std::string& shownName, bool overwrite,
               std::string* error);
  // The file to write the output into.
  platform::File& File() { return file_; }
  // Gives the finished file its name, with the user's default permissions,
  // and closes it.
  bool Commit(std::string* error);

 private:
  platform::Folder folder_;
  platform::File file_;
  char16_t name_[platform::kMaxPath] = {};
  std::string shownName_;
  bool overwrite_ = false;
};

}  // namespace cli
