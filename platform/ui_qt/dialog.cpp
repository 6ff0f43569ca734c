// Modal dialogs from the program's templates on Qt 6 Widgets, laid out in
// pixels as platform/window_layout.h converts them.
#include "platform/dialog.h"

#include <algorithm>

#include <QDialog>
#include <QFont>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "platform/screen.h"
#include "platform/ui_qt/back_end.h"
#include "platform/ui_qt/procedure_widget.h"
#include "platform/window_layout.h"

namespace platform {
namespace qt {
namespace {

class ProcedureDialog final : public ProcedureWidget<QDialog> {
 public:
  using ProcedureWidget::ProcedureWidget;

 protected:
  void reject() override { Dispatch(this, Message::kCommand, kCommandCancel); }  // Esc
};

QRect ToQRect(const Rect& rect) {
  return QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

// The title bar of a dialog with a caption: the caption on the left and,
// when the template asks for it, the OK button on the right.
QWidget* CreateTitleBar(QDialog* dialog, const DialogTemplate& dialogTemplate, int scale) {
  auto* bar = new QWidget(dialog);
  bar->setObjectName(QStringLiteral("titleBar"));
  bar->setAttribute(Qt::WA_StyledBackground);
  bar->setStyleSheet(QStringLiteral(
      "#titleBar { background: #1f3a5f; }"
      "#titleBar QLabel { color: white; font-weight: bold; }"
      "#titleBar QPushButton { color: white; background: #3d6da8; border: 1px solid white;"
      " padding: 0 8px; }"));
  bar->setGeometry(0, 0, dialog->width(), kBarHeight * scale);
  auto* layout = new QHBoxLayout(bar);
  layout->setContentsMargins(4 * scale, 2 * scale, 4 * scale, 2 * scale);
  layout->addWidget(new QLabel(QString::fromUtf16(dialogTemplate.caption), bar), 1);
  if ((dialogTemplate.style & kStyleOkInCaption) != 0) {
    auto* ok = new QPushButton(QStringLiteral("ОК"), bar);
    ok->setObjectName(QStringLiteral("okInCaption"));
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, dialog,
                     [dialog] { Dispatch(dialog, Message::kCommand, 1); });
    layout->addWidget(ok);
  }
  return bar;
}

QWidget* CreateControl(QDialog* dialog, const DialogItem& item) {
  QWidget* control = nullptr;
  switch (item.controlClass) {
    case ControlClass::kStatic: {
      auto* label = new QLabel(QString::fromUtf16(item.text), dialog);
      label->setWordWrap(!IsOneLineText(item));
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      control = label;
      break;
    }
    case ControlClass::kStaticIcon: {
      auto* label = new QLabel(dialog);
      label->setPixmap(QPixmap(IconPath(item.iconId)));
      label->setScaledContents(true);
      control = label;
      break;
    }
    case ControlClass::kProgressBar: {
      auto* bar = new QProgressBar(dialog);
      bar->setTextVisible(false);
      bar->setRange(0, 100);  // as the device's bar starts
      bar->setValue(0);
      control = bar;
      break;
    }
  }
  SetControlId(control, item.id);
  return control;
}

// Gives `dialog` the look of its template and creates its controls at their
// converted rectangles. A template with a caption gets a title bar (the
// caption and, with kStyleOkInCaption, an OK button that sends command 1)
// and its controls sit below it. The dialog is sized to the device screen,
// over `owner`'s window when there is one.
void BuildDialog(QDialog* dialog, QWidget* owner, const DialogTemplate& dialogTemplate, int scale) {
  dialog->setWindowTitle(QString::fromUtf16(dialogTemplate.caption));
  // The template's point size as pixels at scale 1: the desktop's sans
  // serif is wider than the device's, and this keeps the texts within the
  // rectangles that were laid out for it.
  QFont font = dialog->font();
  font.setPixelSize(dialogTemplate.pointSize * scale);
  dialog->setFont(font);
  PaintWhite(dialog);
  CoverDeviceScreen(dialog, owner);

  int clientTop = 0;
  if ((dialogTemplate.style & kStyleCaption) != 0) {
    clientTop = CreateTitleBar(dialog, dialogTemplate, scale)->height();
  }
  for (std::size_t i = 0; i < dialogTemplate.count; ++i) {
    const DialogItem& item = dialogTemplate.items[i];
    QWidget* control = CreateControl(dialog, item);
    QRect rect = ToQRect(DialogUnitsToPixels(item, scale)).translated(0, clientTop);
    // A one-line text may run on to the dialog's right margin, and where
    // even that is too narrow its font is made a little smaller, rather
    // than the text losing its last characters.
    auto* label = qobject_cast<QLabel*>(control);
    if (label != nullptr && !label->wordWrap() && label->pixmap().isNull()) {
      Rect widest = OneLineTextRoom(DialogUnitsToPixels(item, scale), dialog->width());
      int room = widest.right - widest.left;
      QFont smaller = label->font();
      int pixels = FittingTextPixels(smaller.pixelSize(), room, [&](int size) {
        smaller.setPixelSize(size);
        label->setFont(smaller);
        return label->sizeHint().width();
      });
      smaller.setPixelSize(pixels);
      label->setFont(smaller);
      rect.setWidth(std::max(rect.width(), std::min(label->sizeHint().width(), room)));
    }
    control->setGeometry(rect);
  }
}

}  // namespace
}  // namespace qt

using qt::WidgetOf;

int RunModalDialog(const DialogTemplate& dialogTemplate, Window owner, WindowProcedure procedure) {
  QWidget* ownerWidget = WidgetOf(owner);
  qt::ProcedureDialog dialog(procedure, ownerWidget);
  qt::BuildDialog(&dialog, ownerWidget, dialogTemplate, screenMetrics.scale);
  qt::Dispatch(&dialog, Message::kInitDialog, 0);
  int result = dialog.exec();
  dialog.procedure = nullptr;  // it is over for the program
  return result;
}

void EndModalDialog(Window dialog, int result) {
  if (auto* widget = qobject_cast<QDialog*>(WidgetOf(dialog))) widget->done(result);
}

}  // namespace platform
