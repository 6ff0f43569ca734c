// Progress reports that carry a text from the caller's string table.
#pragma once

#include <cstdint>

#include "securefile/securefile.h"

namespace securefile {

// Loads text `textId` from `instance` into a zeroed buffer and reports
// (done, total, text); the text is empty, never null, when it is missing.
// Does nothing when `progress` is null.
void ReportWithText(ProgressCallback progress, ModuleInstance instance, std::uint32_t textId,
                    std::uint32_t done, std::uint32_t total);

}  // namespace securefile
