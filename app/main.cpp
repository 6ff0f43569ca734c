// tessaron FILE: decrypts FILE, a KVA container, into a folder of the
// user's choice.
#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QStyleFactory>
#include <QTranslator>
#include <vector>

#include "app/start_up.h"
#include "platform/language.h"
#include "platform/qt/message_box_qt.h"
#include "platform/qt/process_end_qt.h"
#include "platform/screen.h"

namespace {

// The device's look: one sans-serif font sized for the layout scale, and a
// style that draws the same everywhere.
void SetUpLook(QApplication& application) {
  application.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(11 * platform::screenMetrics.scale);
  application.setFont(font);
}

}  // namespace

int main(int argc, char** argv) {
  // The command line is the file's path whatever it looks like, so it is
  // kept as given before Qt takes the options it knows out of argv.
  std::vector<char*> arguments(argv, argv + argc);
  QApplication application(argc, argv);
  application.setQuitOnLastWindowClosed(false);  // the program decides when it ends
  // The names a desktop knows the program by: WM_CLASS "tessaron",
  // "Tessaron" on X11, and the desktop entry (its icon and name) on Wayland.
  QApplication::setApplicationName(QStringLiteral("Tessaron"));
  QGuiApplication::setDesktopFileName(QStringLiteral("org.tessaron.Tessaron"));
  SetUpLook(application);
  // Qt's own menus, such as a text box's context menu, in Russian unless
  // the resources are English.
  QTranslator translator;
  if (platform::ResourceLanguage() == platform::Language::kRussian &&
      translator.load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    application.installTranslator(&translator);
  }

  platform::qt::QtMessageBoxService messageBoxes;
  platform::qt::QtProcessEnding processEnding;
  platform::SetMessageBoxService(&messageBoxes);
  platform::SetProcessEnding(&processEnding);

  int exitCode = app::RunProgram(static_cast<int>(arguments.size()), arguments.data());

  platform::SetProcessEnding(nullptr);
  platform::SetMessageBoxService(nullptr);
  return exitCode;
}
