#include "cli/replace_policy.h"

#include <algorithm>

#include "cli/command_support.h"
#include "cli/messages.h"
#include "cli/terminal_progress.h"
#include "platform/console.h"
#include "platform/device_path.h"

namespace cli {
namespace {

using Decision = securefile::FileGate::Decision;

bool Exists(const char16_t* path) {
  platform::FileAttributes attributes;
  return platform::GetLinkAttributes(path, &attributes);
}

std::pair<std::uint64_t, std::uint64_t> Key(const platform::FileId& id) { return {id.device, id.inode}; }

}  // namespace

ReplacePolicy::ReplacePolicy(ExistingFiles mode, const char16_t* destination,
                             const std::string& shownDestination)
    : mode_(mode), flagGiven_(mode != ExistingFiles::kAsk), destination_(destination),
      shownDestination_(shownDestination) {
  while (shownDestination_.size() > 1 &&
         (shownDestination_.back() == '/' || shownDestination_.back() == platform::kHostSeparator)) {
    shownDestination_.pop_back();
  }
}

std::string ReplacePolicy::Shown(const char16_t* targetPath) const {
  std::u16string target(targetPath);
  if (target.compare(0, destination_.size(), destination_) != 0) return DisplayPath(targetPath);
  std::size_t rest = destination_.size();
  if (rest < target.size() && target[rest] == u'\\') ++rest;
  std::string folder = shownDestination_;
  if (folder.back() != '/' && folder.back() != platform::kHostSeparator) {
    folder += platform::kHostSeparator;
  }
  return folder + DisplayPath(target.c_str() + rest);
}

Decision ReplacePolicy::Keep() {
  ++kept_;
  return Decision::kKeep;
}

Decision ReplacePolicy::Decide(const char16_t* targetPath) {
  if (!Exists(targetPath)) return Decision::kCreate;
  if (mode_ == ExistingFiles::kReplace) return Decision::kReplace;
  if (mode_ == ExistingFiles::kKeep) return Keep();
  std::string question = "kva: replace " + Quoted(Shown(targetPath)) + "? [y]es, [n]o, [A]ll, [N]one: ";
  char answer[16];
  ClearProgressLine();
  while (platform::AskLine(question.c_str(), answer, sizeof answer)) {
    switch (answer[0]) {
      case 'y': return Decision::kReplace;
      case 'n': return Keep();
      case 'A': mode_ = ExistingFiles::kReplace; return Decision::kReplace;
      case 'N': mode_ = ExistingFiles::kKeep; return Keep();
      default: break;  // asked again
    }
  }
  refused_ = true;
  problem_ = Quoted(Shown(targetPath)) +
             " exists; nothing was replaced (--force replaces existing files, --skip-existing "
             "keeps them)";
  return Decision::kStop;
}

Decision ReplacePolicy::BeforeFile(const char16_t* targetPath) {
  // A name this run gave a file already: the package holds the entry twice
  // (on Windows perhaps in another case), which no packer writes.
  platform::FileId id;
  if (Exists(targetPath) && platform::GetFileId(targetPath, &id) && placedIds_.count(Key(id)) != 0) {
    problem_ = "the package is damaged: a later entry names " + Quoted(Shown(targetPath)) + " again";
    return Decision::kStop;
  }
  auto settled = settled_.find(targetPath);
  Decision decision = settled != settled_.end() ? settled->second : Decide(targetPath);
  nextIsNew_ = decision == Decision::kCreate;
  return decision;
}

bool ReplacePolicy::Settle(const char16_t* targetPath) {
  Decision decision = Decide(targetPath);
  if (decision != Decision::kCreate) settled_[targetPath] = decision;
  return decision != Decision::kStop;
}

void ReplacePolicy::FilePlaced(const char16_t* targetPath) {
  platform::FileId id;
  if (!platform::GetFileId(targetPath, &id)) return;
  placedIds_.insert(Key(id));
  if (nextIsNew_) made_.emplace_back(targetPath, id);
}

void ReplacePolicy::NoteMissingFolders(const char16_t* path, std::size_t from) {
  std::u16string folder(path);
  for (std::size_t end = from + 1; end <= folder.size(); ++end) {
    if (end < folder.size() && folder[end] != u'\\') continue;
    std::u16string prefix = folder.substr(0, end);
    if (!Exists(prefix.c_str())) created_.push_back(prefix);
  }
}

void ReplacePolicy::BeforeFolder(const char16_t* targetPath) {
  NoteMissingFolders(targetPath, destination_.size());
}

std::size_t ReplacePolicy::RemoveWhatWasMade() {
  std::size_t removed = 0;
  for (const auto& [path, id] : made_) {
    // Only the file this run wrote: whatever took its name since stays.
    platform::FileId now;
    if (platform::GetFileId(path.c_str(), &now) && now == id && platform::DeleteFile(path.c_str())) {
      ++removed;
    }
  }
  for (auto folder = created_.rbegin(); folder != created_.rend(); ++folder) {
    platform::RemoveFolder(folder->c_str());
  }
  return removed;
}

void ReplacePolicy::ReportKept() const {
  if (kept_ == 0) return;
  PrintError("kept " + Count(kept_, "existing file") + (flagGiven_ ? " (--skip-existing)" : ""));
}

}  // namespace cli
