// Saves PNG pictures of the main form, the progress dialog and the about
// box into the folder named by the first argument, for reviewing the look.
// Runs on any Qt platform; the test suite uses the offscreen one.
#include <QApplication>
#include <QDir>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QStyleFactory>
#include <cstdio>

#include "app/about_dialog.h"
#include "app/main_window.h"
#include "job/globals.h"
#include "job/progress_dialog.h"
#include "platform/language.h"
#include "platform/qt/dialog_builder.h"
#include "platform/screen.h"
#include "res/resource_ids.h"
#include "res/string_table.h"

namespace {

bool Save(QWidget* widget, const QDir& folder, const char* name) {
  widget->show();
  QApplication::processEvents();
  QString path = folder.filePath(QString::fromUtf8(name));
  bool saved = widget->grab().save(path);
  std::printf("%s %s\n", saved ? "saved" : "FAILED", path.toUtf8().constData());
  return saved;
}

void IdleWorker(void*) {}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: app_screenshots FOLDER\n");
    return 64;
  }
  QDir folder(QString::fromLocal8Bit(argv[1]));
  if (!folder.mkpath(QStringLiteral("."))) return 1;
  application.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(11 * platform::screenMetrics.scale);
  application.setFont(font);

  job::instance = res::ProgramInstance();
  // The user's folder as a user of that language would have it.
  bool english = platform::ResourceLanguage() == platform::Language::kEnglish;
  QString documents = english ? QStringLiteral("Documents") : QStringLiteral("Документы");
  platform::WideCopy(job::destinationFolder,
                     reinterpret_cast<const char16_t*>(
                         (QStringLiteral("\\home\\user\\") + documents).utf16()));
  bool ok = true;

  app::MainWindow window(QStringLiteral("Tessaron"), IdleWorker);
  window.PasswordBox()->setText(QStringLiteral("sample-2026"));
  ok = Save(&window, folder, "main-form.png") && ok;

  {
    job::ProgressDialog progress(&window, IdleWorker);
    auto* item =
        static_cast<QLabel*>(platform::qt::FindDialogItem(&progress, res::kControlCurrentItem));
    item->setText(QStringLiteral("\\home\\user\\") + documents +
                  QStringLiteral("\\Tessaron sample\\docs\\numbers.csv"));
    job::progressBar->setValue(40);
    ok = Save(&progress, folder, "progress-dialog.png") && ok;
    job::JoinWorker();
  }

  app::AboutDialog about(&window);
  ok = Save(&about, folder, "about-box.png") && ok;
  return ok ? 0 : 1;
}
