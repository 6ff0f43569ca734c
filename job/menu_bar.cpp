#include "job/menu_bar.h"

#include "platform/message_box.h"
#include "platform/qt/soft_key_bar.h"
#include "platform/screen.h"
#include "res/resources.h"

namespace job {

QWidget* CreateMenuBar(QWidget* parent, int menuId) {
  const platform::MenuResource* menu = res::FindMenu(menuId);
  if (menu == nullptr) {
    platform::ShowMessageBox(parent, u"SHCreateMenuBar Failed", u"Error", platform::kButtonsOk);
    return nullptr;
  }
  return new platform::qt::SoftKeyBar(parent, *menu, platform::screenMetrics.scale);
}

}  // namespace job
