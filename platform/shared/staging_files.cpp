// Staging files: the hidden files that unpacking writes before they take
// their real names, their names, and the table of those still being
// written, the same on every host. The raw creation and deletion come from
// host.h.
#include <atomic>
#include <ctime>
#include <thread>

#include "platform/files.h"
#include "platform/shared/host.h"

namespace platform {
namespace {

// The staging files being written, so that an ending that cannot wait for
// their writers (a signal handler, Ctrl+C's handler thread on Windows, the
// cancel command's immediate exit) still removes them. A slot holds the
// folder and the staging file's number, guarded by a lock-free state so
// that reading it is async-signal-safe. Its owner takes it free -> filling
// -> set and, once the file is renamed or deleted, set -> emptying -> free;
// an ending takes it set -> removing -> removed, and an owner that finds it
// there waits for "removed" before it lets the folder go (only a test's
// captured ending lets the owner go on).
enum SlotState : int { kFree, kFilling, kSet, kEmptying, kRemoving, kRemoved };

struct StagingSlot {
  std::atomic<int> state{kFree};
  host::HeldFolder folder;
  std::atomic<unsigned> number{0};
};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<unsigned>::is_always_lock_free);

// Unpacking writes one file at a time per thread; a full table only means
// that a file written meanwhile is not removed by an immediate ending.
StagingSlot stagingSlots[16];

constexpr char16_t kStagingPrefix[] = u".kva-";
constexpr std::size_t kPrefixLength = sizeof kStagingPrefix / sizeof(char16_t) - 1;
constexpr std::size_t kStagingNameLength = kPrefixLength + 8;

// ".kva-" and eight hex digits, without any formatting call: this runs in
// signal handlers.
void StagingName(unsigned number, char16_t (&name)[kStagingNameLength + 1]) {
  for (std::size_t i = 0; i < kPrefixLength; ++i) name[i] = kStagingPrefix[i];
  for (std::size_t i = 0; i < 8; ++i) {
    name[kStagingNameLength - 1 - i] = u"0123456789abcdef"[number & 0xFu];
    number >>= 4;
  }
  name[kStagingNameLength] = u'\0';
}

void RegisterStaging(const Folder& folder, unsigned number) {
  for (StagingSlot& slot : stagingSlots) {
    int expected = kFree;
    if (!slot.state.compare_exchange_strong(expected, kFilling)) continue;
    if (!host::Hold(folder, &slot.folder)) {
      slot.state.store(kFree);
      return;
    }
    slot.number.store(number);
    slot.state.store(kSet);
    return;
  }
}

// Called once `name` has been renamed or deleted: if it is a staging file,
// an ending no longer needs to remove it. Keeps LastError() as the
// caller's failure left it.
void ForgetStaging(const char16_t* name) {
  int error = LastError();
  for (StagingSlot& slot : stagingSlots) {
    int state = slot.state.load();
    if (state != kSet && state != kRemoving && state != kRemoved) continue;
    // Numbers are unique within the process, and only their owner
    // forgets them, so a match stays this caller's slot.
    char16_t staged[kStagingNameLength + 1];
    StagingName(slot.number.load(), staged);
    if (!WideEqual(staged, name)) continue;
    int expected = kSet;
    if (!slot.state.compare_exchange_strong(expected, kEmptying)) {
      while (slot.state.load() != kRemoved) std::this_thread::yield();
    }
    host::Release(&slot.folder);
    slot.state.store(kFree);
    break;
  }
  host::SetError(error);
}

}  // namespace

void RemoveStagingFilesNow() {
  for (StagingSlot& slot : stagingSlots) {
    int expected = kSet;
    if (!slot.state.compare_exchange_strong(expected, kRemoving)) continue;
    char16_t name[kStagingNameLength + 1];
    StagingName(slot.number.load(), name);
    host::DeleteIn(slot.folder, name);
    slot.state.store(kRemoved);
  }
}

bool File::CreateStagingIn(const Folder& folder, const char16_t* name, char16_t* stagingName) {
  if (IsOpen() || !folder.IsOpen() || !host::MayReplace(folder, name)) return false;
  // One seed per process and an odd step: no two staging files of the
  // process share a number, which is what the table relies on.
  static const unsigned seed =
      host::ProcessId() * 2654435761u ^ static_cast<unsigned>(std::time(nullptr));
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned number = seed + counter.fetch_add(1) * 40503u;
    char16_t staged[kStagingNameLength + 1];
    StagingName(number, staged);
    HostHandle descriptor = host::CreateNewIn(folder, staged);
    if (descriptor < 0) {
      if (LastError() == host::FileExistsError()) continue;
      return false;
    }
    if (!Adopt(descriptor, true)) {
      int error = LastError();
      DeleteIn(folder, staged);
      host::SetError(error);
      return false;
    }
    RegisterStaging(folder, number);
    WideCopy(stagingName, kMaxPath, staged);
    return true;
  }
  host::SetError(host::FileExistsError());
  return false;
}

bool ReplaceIn(const Folder& folder, const char16_t* from, const char16_t* to, bool replace) {
  if (!folder.IsOpen() || !host::ReplaceIn(folder, from, to, replace)) return false;
  ForgetStaging(from);
  return true;
}

bool DeleteIn(const Folder& folder, const char16_t* name) {
  if (!folder.IsOpen()) return false;
  bool deleted = host::DeleteIn(folder, name);
  ForgetStaging(name);  // the caller has given the file up either way
  return deleted;
}

}  // namespace platform
