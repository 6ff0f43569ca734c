#include "app/about_dialog.h"

#include "platform/dialog.h"
#include "platform/shell.h"
#include "res/resource_ids.h"
#include "res/resources.h"

namespace app {

bool AboutDialogProcedure(platform::Window dialog, platform::Message message,
                          std::intptr_t parameter) {
  switch (message) {
    case platform::Message::kInitDialog:
      platform::SetInputPanel(dialog, platform::InputPanel::kDown);
      return true;
    case platform::Message::kCommand:
      if (parameter != res::kCommandOk) return false;
      platform::EndModalDialog(dialog, res::kCommandOk);
      return true;
    case platform::Message::kClose:
      platform::EndModalDialog(dialog, static_cast<int>(platform::Message::kClose));
      return true;
    default:
      return false;
  }
}

int OpenAboutDialog(platform::Window owner) {
  return platform::RunModalDialog(*res::FindDialog(res::kDialogAbout), owner,
                                  AboutDialogProcedure);
}

}  // namespace app
