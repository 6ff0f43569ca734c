// The destination's folders that a run makes, and takes away again.
#pragma once

#include <cstddef>

namespace job {

// Makes every missing folder along `path` (a device path). *existing gets
// the length of its longest prefix that was there before: the levels
// beyond it are this run's. On failure the levels made so far are removed
// again and false is returned.
bool MakeFolders(const char16_t* path, std::size_t* existing);

// Removes the folders along `path` beyond its first `existing` units,
// deepest first, as long as they are empty: a level someone has put
// something into stays, and so do those above it. Levels that are not there
// are passed over.
void RemoveMadeFolders(const char16_t* path, std::size_t existing);

}  // namespace job
