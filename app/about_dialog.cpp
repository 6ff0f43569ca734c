#include "app/about_dialog.h"

#include <QCloseEvent>

#include "platform/qt/command_event.h"
#include "platform/qt/dialog_builder.h"
#include "platform/qt/shell_hooks.h"
#include "platform/screen.h"
#include "res/resource_ids.h"
#include "res/resources.h"

namespace app {
namespace {

constexpr int kClosedResult = 16;  // the close message's number on the device

}  // namespace

AboutDialog::AboutDialog(QWidget* owner) : QDialog(owner) {
  platform::qt::BuildDialog(this, owner, *res::FindDialog(res::kDialogAbout),
                            platform::screenMetrics.scale, res::FindIconPath);
  platform::qt::SetInputPanel(this, platform::qt::InputPanel::kDown);
}

bool AboutDialog::event(QEvent* event) {
  if (event->type() == platform::qt::CommandEvent::EventType()) {
    if (static_cast<platform::qt::CommandEvent*>(event)->Command() == res::kCommandOk) {
      done(res::kCommandOk);
    }
    return true;
  }
  return QDialog::event(event);
}

void AboutDialog::closeEvent(QCloseEvent* event) {
  event->accept();
  done(kClosedResult);
}

void AboutDialog::reject() {}

int OpenAboutDialog(QWidget* owner) {
  AboutDialog dialog(owner);
  return dialog.exec();
}

}  // namespace app
