// Where the process enters the program on Qt 6 Widgets: the application,
// its look, and the services the program finds installed.
#include "platform/process_entry.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QStyleFactory>
#include <QTranslator>
#include <cstdio>
#include <string>

#include "platform/language.h"
#include "platform/screen.h"
#include "platform/ui_qt/back_end.h"
#include "platform/window_layout.h"

namespace platform {
namespace {

// The device's look: one sans-serif font sized for the layout scale, and a
// style that draws the same everywhere.
void SetUpLook(QApplication& application) {
  application.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(kWindowTextPixels * screenMetrics.scale);
  application.setFont(font);
}

}  // namespace

int RunProcess(int argumentCount, char** arguments, ProgramMain programMain,
               AnswerWithoutWindows answer) {
  // The command line is the file's path whatever it looks like, so it is
  // taken as given before Qt takes the options it knows out of argv.
  std::string commandLine;
  for (int i = 1; i < argumentCount; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += arguments[i];
  }
  int answered = 0;
  if (answer != nullptr && answer(commandLine.c_str(), &answered)) return answered;
  QApplication application(argumentCount, arguments);
  application.setQuitOnLastWindowClosed(false);  // the program decides when it ends
  // The names a desktop knows the program by: WM_CLASS "tessaron",
  // "Tessaron" on X11, and the desktop entry (its icon and name) on Wayland.
  QApplication::setApplicationName(QStringLiteral("Tessaron"));
  QGuiApplication::setDesktopFileName(QStringLiteral("org.tessaron.Tessaron"));
  SetUpLook(application);
  // Qt's own menus, such as a text box's context menu, in Russian unless
  // the resources are English.
  QTranslator translator;
  if (ResourceLanguage() == Language::kRussian &&
      translator.load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    application.installTranslator(&translator);
  }

  qt::QtMessageBoxService messageBoxes;
  qt::QtProcessEnding processEnding;
  SetMessageBoxService(&messageBoxes);
  SetProcessEnding(&processEnding);

  int exitCode = programMain(commandLine.c_str());

  qt::DeleteRemainingWindows();
  SetProcessEnding(nullptr);
  SetMessageBoxService(nullptr);
  return exitCode;
}

void WriteOutput(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

}  // namespace platform
