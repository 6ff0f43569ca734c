#include "job/soft_keys.h"

#include "platform/message_box.h"
#include "res/resources.h"

namespace job {

platform::Window CreateMenuBar(platform::Window parent, int menuId) {
  const platform::MenuResource* menu = res::FindMenu(menuId);
  platform::Window bar = menu != nullptr ? platform::CreateSoftKeyBar(parent, *menu) : nullptr;
  if (bar == nullptr) {
    platform::ShowMessageBox(parent, u"SHCreateMenuBar Failed", u"Error", platform::kButtonsOk);
  }
  return bar;
}

}  // namespace job
