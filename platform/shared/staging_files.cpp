// Staging names: the hidden names an output may need for a moment before
// it takes its real one (where a file cannot be made without a name, and
// while one replaces another), and the table of those that exist, so that
// every ending removes them. The same on every host; the raw deletion comes
// from host.h.
#include <atomic>
#include <ctime>
#include <thread>

#include "platform/files.h"
#include "platform/shared/host.h"

namespace platform {
namespace {

// A slot holds the folder and the name's number, guarded by a lock-free
// state so that reading it is async-signal-safe. A name is registered
// before its file is made, so an ending at any moment finds it. Its owner
// takes the slot free -> filling -> set and, once the file is renamed or
// deleted, set -> emptying -> free; an ending takes it set -> removing ->
// removed, and an owner that finds it there waits for "removed" before it
// lets the folder go (only a test's captured ending lets the owner go on).
enum SlotState : int { kFree, kFilling, kSet, kEmptying, kRemoving, kRemoved };

struct StagingSlot {
  std::atomic<int> state{kFree};
  host::HeldFolder folder;
  std::atomic<unsigned> number{0};
};
static_assert(std::atomic<int>::is_always_lock_free && std::atomic<unsigned>::is_always_lock_free);

// A name exists only while one file is written or moved into place, one
// at a time per thread: a full table means something is badly wrong, and
// the output fails rather than go unregistered.
StagingSlot stagingSlots[32];

constexpr char16_t kStagingPrefix[] = u".kva-";
constexpr std::size_t kPrefixLength = sizeof kStagingPrefix / sizeof(char16_t) - 1;
static_assert(kPrefixLength + 8 == host::kStagingNameLength);

// ".kva-" and eight hex digits, without any formatting call: this runs in
// signal handlers.
void SpellStagingName(unsigned number, host::StagingName& name) {
  for (std::size_t i = 0; i < kPrefixLength; ++i) name[i] = kStagingPrefix[i];
  for (std::size_t i = 0; i < 8; ++i) {
    name[host::kStagingNameLength - 1 - i] = u"0123456789abcdef"[number & 0xFu];
    number >>= 4;
  }
  name[host::kStagingNameLength] = u'\0';
}

// Lets go of a slot its owner is done with: waits for an ending that is
// removing its file, so that the held folder stays valid meanwhile.
void FreeSlot(StagingSlot& slot, bool deleteFile) {
  int error = LastError();
  int expected = kSet;
  if (slot.state.compare_exchange_strong(expected, kEmptying)) {
    if (deleteFile) {
      host::StagingName name;
      SpellStagingName(slot.number.load(), name);
      host::DeleteIn(slot.folder, name);
    }
  } else {
    while (slot.state.load() != kRemoved) std::this_thread::yield();
  }
  host::Release(&slot.folder);
  slot.state.store(kFree);
  host::SetError(error);  // LastError() stays as the caller's failure left it
}

// One seed per process and an odd step: no two staging names of the
// process share a number.
unsigned NextNumber() {
  static const unsigned seed =
      host::ProcessId() * 2654435761u ^ static_cast<unsigned>(std::time(nullptr));
  static std::atomic<unsigned> counter{0};
  return seed + counter.fetch_add(1) * 40503u;
}

}  // namespace

namespace host {

int RegisterStagingName(const Folder& folder, StagingName& name) {
  for (int i = 0; i < static_cast<int>(std::size(stagingSlots)); ++i) {
    StagingSlot& slot = stagingSlots[i];
    int expected = kFree;
    if (!slot.state.compare_exchange_strong(expected, kFilling)) continue;
    if (!Hold(folder, &slot.folder)) {
      slot.state.store(kFree);
      return -1;
    }
    unsigned number = NextNumber();
    SpellStagingName(number, name);
    slot.number.store(number);
    slot.state.store(kSet);
    return i;
  }
  SetError(TooManyStagingNamesError());
  return -1;
}

void StagingNameOf(int slot, StagingName& name) {
  SpellStagingName(stagingSlots[slot].number.load(), name);
}

void ForgetStagingName(int slot) { FreeSlot(stagingSlots[slot], false); }

void DeleteStagingName(int slot) { FreeSlot(stagingSlots[slot], true); }

}  // namespace host

bool IsStagingName(const char16_t* name) {
  for (StagingSlot& slot : stagingSlots) {
    host::StagingName staged;
    int state = slot.state.load();
    if (state == kFree || state == kFilling) continue;
    SpellStagingName(slot.number.load(), staged);
    if (WideEqual(staged, name)) return true;
  }
  return false;
}

void RemoveStagingFilesNow() {
  for (StagingSlot& slot : stagingSlots) {
    int expected = kSet;
    if (!slot.state.compare_exchange_strong(expected, kRemoving)) continue;
    host::StagingName name;
    SpellStagingName(slot.number.load(), name);
    host::DeleteIn(slot.folder, name);
    slot.state.store(kRemoved);
  }
}

void File::DropUncommitted() {
  if (staging_ >= 0) host::DeleteStagingName(staging_);
  staging_ = -1;
  uncommitted_ = false;
}

}  // namespace platform
