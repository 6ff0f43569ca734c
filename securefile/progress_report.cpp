#include "securefile/progress_report.h"

#include "securefile/container_format.h"

namespace securefile {

void ReportWithText(ProgressCallback progress, ModuleInstance instance, std::uint32_t textId,
                    std::uint32_t done, std::uint32_t total) {
  if (progress == nullptr) return;
  char16_t text[kProgressTextSize];
  platform::LoadString(instance, textId, text);
  progress(done, total, text);
}

}  // namespace securefile
