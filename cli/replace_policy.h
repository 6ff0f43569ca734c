// kva's rule for files that already exist where unpacking (open, unpack)
// is about to write one: a file that was there before the run is never
// replaced without consent. On a terminal kva asks, file by file, as unzip
// does; without one it refuses, unless --force (replace) or
// --skip-existing (keep) answered for every file. A later entry naming a
// file this run wrote means a damaged package, whatever the flags say.
// Folders that exist are used as they are.
//
// The library's unpacker consults it before each file (securefile's
// FileGate); its own default stays "replace", which its other callers
// rely on.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "securefile/unpack.h"

namespace cli {

enum class ExistingFiles {
  kAsk,      // ask on the terminal; refuse without one
  kReplace,  // --force
  kKeep,     // --skip-existing
};

class ReplacePolicy final : public securefile::FileGate {
 public:
  // `destination` is the destination's device path, `shownDestination` as
  // the user wrote it: the paths in questions and messages start with it.
  ReplacePolicy(ExistingFiles mode, const char16_t* destination, const std::string& shownDestination);

  Decision BeforeFile(const char16_t* targetPath) override;
  void FilePlaced(const char16_t* targetPath) override;
  void BeforeFolder(const char16_t* targetPath) override;

  // Settles a file ahead of the run (unpack looks at every entry before it
  // writes one), asking now. False when the run must not start; Problem()
  // says why.
  bool Settle(const char16_t* targetPath);

  // Why the run was stopped ("" when it was not), and whether that was a
  // refusal to replace a file (rather than a damaged package).
  const std::string& Problem() const { return problem_; }
  bool Refused() const { return refused_; }
  std::size_t FilesPlaced() const { return placedIds_.size(); }

  // Undoes the run as far as it is safe: removes the files it made where
  // there were none, if they are still the ones it wrote, then the folders
  // it created once they are empty (the destination among them when the
  // run created it). Returns the number of files removed.
  std::size_t RemoveWhatWasMade();
  // Called before the destination is made: what of it is missing will be
  // the run's.
  void BeforeDestination() { NoteMissingFolders(destination_.c_str(), 0); }

  // Says how many existing files were kept, if any.
  void ReportKept() const;

  // A target path as the user reads it: the destination as written, then
  // the entry's path in the host's spelling.
  std::string Shown(const char16_t* targetPath) const;

 private:
  Decision Decide(const char16_t* targetPath);
  Decision Keep();
  void NoteMissingFolders(const char16_t* path, std::size_t from);

  ExistingFiles mode_;
  bool flagGiven_;
  std::u16string destination_;
  std::string shownDestination_;
  std::map<std::u16string, Decision> settled_;
  bool nextIsNew_ = false;  // the file being written takes a free name
  std::vector<std::pair<std::u16string, platform::FileId>> made_;
  std::set<std::pair<std::uint64_t, std::uint64_t>> placedIds_;
  std::vector<std::u16string> created_;  // folders, outermost first
  std::size_t kept_ = 0;
  std::string problem_;
  bool refused_ = false;
};

}  // namespace cli
