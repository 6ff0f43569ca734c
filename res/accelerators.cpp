// Accelerator table 2 of the main window.
#include <iterator>

#include "res/resource_ids.h"
#include "res/resources.h"

namespace res {
namespace {

constexpr platform::Accelerator kAcceleratorEntries[] = {
    {platform::kModifierControl, 'A', kCommandAbout},
    {platform::kModifierControl, 'Q', kCommandQuit},
};
constexpr platform::AcceleratorTable kAccelerators = {kAcceleratorEntries,
                                                      std::size(kAcceleratorEntries)};

}  // namespace

const platform::AcceleratorTable* FindAccelerators(int id) {
  return id == kAcceleratorTable ? &kAccelerators : nullptr;
}

}  // namespace res
