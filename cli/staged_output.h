// An output file that appears only when it is complete.
//
// The library writes into a private temporary file beside the output's
// final name; Commit() renames it into place. Until then an existing file of
// that name is untouched, and a failure, an interruption (Ctrl+C) or an
// early return removes the temporary file, so kva never leaves a partial
// output behind or destroys the old one.
#pragma once

#include <string>

#include "cli/paths.h"

namespace cli {

class StagedOutput {
 public:
  StagedOutput() = default;
  ~StagedOutput();
  StagedOutput(const StagedOutput&) = delete;
  StagedOutput& operator=(const StagedOutput&) = delete;

  // Reserves the temporary file for `finalPath`. Without `overwrite`, an
  // existing file there is an error.
  bool Reserve(const DevicePath& finalPath, const std::string& shownName, bool overwrite,
               std::string* error);
  const char16_t* TemporaryPath() const { return temporary_.text; }
  // Gives the file the user's default permissions and moves it into place.
  bool Commit(std::string* error);
  // Removes the temporary file (also done by the destructor).
  void Discard();

 private:
  DevicePath final_;
  DevicePath temporary_;
  std::string shownName_;
  bool overwrite_ = false;
  bool reserved_ = false;
};

}  // namespace cli
