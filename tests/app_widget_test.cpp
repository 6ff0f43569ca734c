// The main window, the about box, the progress dialog and the message boxes
// as widgets, in process on Qt's offscreen platform: the form's checks and
// what it hands to the job, the soft keys and accelerators, the progress
// dialog fed from another thread and its cancel command, and the real
// message boxes.
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "app/about_dialog.h"
#include "app/command_line.h"
#include "app/layout.h"
#include "app/main_window.h"
#include "app/start_up.h"
#include "job/globals.h"
#include "job/menu_bar.h"
#include "job/progress.h"
#include "job/progress_dialog.h"
#include "job/temp_file.h"
#include "platform/files.h"
#include "platform/qt/command_event.h"
#include "platform/qt/dialog_builder.h"
#include "platform/qt/message_box_qt.h"
#include "platform/qt/soft_key_bar.h"
#include "platform/qt/ui_thread.h"
#include "platform/screen.h"
#include "platform/temp_files.h"
#include "res/resource_ids.h"
#include "res/string_table.h"
#include "tests/captured_ending.h"
#include "tests/scripted_message_box.h"

namespace fs = std::filesystem;

namespace {

// What the worker found in the job's inputs when the dialog started it.
struct StartedRun {
  bool started = false;
  std::string passwordBytes;
  std::u16string destination;
};
StartedRun startedRun;

// Records the inputs, then closes the progress dialog as if the run ended.
void RecordingWorker(void* dialog) {
  startedRun.started = true;
  startedRun.passwordBytes = reinterpret_cast<const char*>(job::passwordBytes);
  startedRun.destination = job::destinationFolder;
  auto* widget = static_cast<QDialog*>(dialog);
  platform::qt::RunOnOwnerThread(widget, [widget] { widget->done(0); });
}

// Runs `action` on the first modal window to appear, from within its event
// loop (a timer fires in nested loops too).
void WhenModal(const std::function<void(QWidget*)>& action) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, action] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    action(modal);
  });
  timer->start();
}

QPushButton* ButtonWithText(QWidget* window, const QString& text) {
  for (QPushButton* button : window->findChildren<QPushButton*>()) {
    if (button->text() == text) return button;
  }
  return nullptr;
}

}  // namespace

class AppWidgetTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    job::instance = res::ProgramInstance();
    platform::WideCopy(job::destinationFolder, u"\\tmp\\out");
    job::WipePassword();
    startedRun = {};
    boxes_ = std::make_unique<test_support::ScriptedMessageBox>();
    ending_ = std::make_unique<test_support::CapturedEnding>();
  }

  void cleanup() {
    window_.reset();
    job::JoinWorker();
    boxes_.reset();
    ending_.reset();
  }

  void controlsSitAtTheirRectanglesForThisScreen() {
    ShowMainWindow();
    std::array<app::ControlRect, 4> rects =
        app::MainWindowControlRects(platform::screenMetrics.scale);
    const app::ControlRect& password = rects[1];
    QCOMPARE(window_->PasswordBox()->geometry(),
             QRect(password.left, password.top, password.right - password.left,
                   password.bottom - password.top));
    const app::ControlRect& folder = rects[3];
    QCOMPARE(window_->FolderBox()->geometry().topLeft(), QPoint(folder.left, folder.top));
    QCOMPARE(window_->size(), QSize(platform::screenMetrics.width, platform::screenMetrics.height));
    QCOMPARE(window_->MenuBar()->geometry().bottom(), window_->height() - 1);
    QCOMPARE(window_->FolderBox()->text(), QStringLiteral("/tmp/out"));
    QVERIFY(window_->PasswordBox()->hasFocus());
    QCOMPARE(window_->PasswordBox()->echoMode(), QLineEdit::Password);
  }

  void emptyPasswordWarns() {
    ShowMainWindow();
    QTest::keyClick(window_->PasswordBox(), Qt::Key_F1);
    ExpectSingleWarning(res::kIdsEnterPassword);
    QVERIFY(window_->isVisible());
    QVERIFY(!startedRun.started);
  }

  void clickingTheLeftSoftKeyIsF1() {
    ShowMainWindow();
    auto* bar = static_cast<platform::qt::SoftKeyBar*>(window_->MenuBar());
    QCOMPARE(bar->Key(0)->text(), QStringLiteral("Выполнить"));
    QCOMPARE(bar->Key(1)->text(), QStringLiteral("Отмена"));
    QTest::mouseClick(bar->Key(0), Qt::LeftButton);
    ExpectSingleWarning(res::kIdsEnterPassword);
  }

  // An empty folder box asks for a path; a folder that is no usable path
  // (a backslash in a name, too long once made absolute) says so.
  void unusableFolderWarns_data() {
    QTest::addColumn<QString>("folder");
    QTest::addColumn<uint>("warning");
    QTest::newRow("empty") << QString() << uint{res::kIdsEnterFolder};
    QTest::newRow("backslash") << QStringLiteral("/tmp/a\\b") << uint{res::kIdsBadCommandLine};
    // 259 characters fit the box, not an absolute path.
    QTest::newRow("too long") << QString(259, QLatin1Char('d')) << uint{res::kIdsBadCommandLine};
  }
  void unusableFolderWarns() {
    QFETCH(QString, folder);
    QFETCH(uint, warning);
    ShowMainWindow();
    QTest::keyClicks(window_->PasswordBox(), QStringLiteral("secret"));
    window_->FolderBox()->setText(folder);
    QTest::keyClick(window_->PasswordBox(), Qt::Key_F1);
    ExpectSingleWarning(warning);
    QCOMPARE(window_->FolderBox()->text(), folder);
    QVERIFY(window_->isVisible());
    QVERIFY(!startedRun.started);
  }

  void passwordOutsideTheCodePageWarnsAndLeavesTheForm() {
    ShowMainWindow();
    window_->PasswordBox()->setText(QStringLiteral("пароль密"));  // keyClicks types ASCII only
    QTest::keyClick(window_->PasswordBox(), Qt::Key_F1);
    ExpectSingleWarning(res::kIdsBadPasswordCharacter);
    QCOMPARE(window_->PasswordBox()->text(), QStringLiteral("пароль密"));
    QCOMPARE(window_->FolderBox()->text(), QStringLiteral("/tmp/out"));
    QVERIFY(window_->isVisible());
    QVERIFY(!startedRun.started);
    QCOMPARE(job::passwordBytes[0], 0);
  }

  // The box takes 31 characters, so the password used is the one the user
  // sees typed; it reaches the job in Windows-1251, and the folder as an
  // absolute device path; afterwards the window closes.
  void passwordBoxTakesThirtyOneCharacters() {
    ShowMainWindow();
    window_->PasswordBox()->setText(QStringLiteral("пароль"));
    QTest::keyClicks(window_->PasswordBox(), QString(34, QLatin1Char('x')));  // 40 typed
    QCOMPARE(window_->PasswordBox()->text(),
             QStringLiteral("пароль") + QString(25, QLatin1Char('x')));
    window_->FolderBox()->setText(QStringLiteral("relative/out"));
    QTest::keyClick(window_->PasswordBox(), Qt::Key_F1);

    QVERIFY(startedRun.started);
    QCOMPARE(startedRun.passwordBytes,
             std::string("\xEF\xE0\xF0\xEE\xEB\xFC") + std::string(25, 'x'));
    char16_t expected[platform::kMaxPath];
    QVERIFY(app::HostPathToDevice("relative/out", expected));
    QVERIFY(startedRun.destination == expected);
    QVERIFY(boxes_->boxes.empty());
    QVERIFY(!window_->isVisible());
  }

  void f2ClosesTheWindow() {
    ShowMainWindow();
    QTest::keyClick(window_->PasswordBox(), Qt::Key_F2);
    QVERIFY(!window_->isVisible());
    QVERIFY(boxes_->boxes.empty());
  }

  void ctrlAOpensTheAboutBoxAndItsOkClosesIt() {
    ShowMainWindow();
    QTest::keyClicks(window_->PasswordBox(), QStringLiteral("abc"));
    bool seen = false;
    WhenModal([&](QWidget* modal) {
      auto* about = dynamic_cast<app::AboutDialog*>(modal);
      QVERIFY(about != nullptr);
      seen = true;
      auto* name = qobject_cast<QLabel*>(platform::qt::FindDialogItem(about, res::kControlNotice));
      QCOMPARE(name->text(), QStringLiteral("Tessaron（解密） 1.0.2 版"));
      QVERIFY(platform::qt::FindDialogItem(about, res::kControlRights) != nullptr);
      auto* icon =
          qobject_cast<QLabel*>(platform::qt::FindDialogItem(about, res::kControlAboutIcon));
      QVERIFY(!icon->pixmap().isNull());
      QCOMPARE(about->windowTitle(), QStringLiteral(" "));
      QTest::mouseClick(about->findChild<QPushButton*>(QStringLiteral("okInCaption")),
                        Qt::LeftButton);
    });
    QTest::keyClick(window_->PasswordBox(), Qt::Key_A, Qt::ControlModifier);
    QVERIFY(seen);
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    // The accelerator was the window's, not the box's "select all".
    QVERIFY(!window_->PasswordBox()->hasSelectedText());
  }

  void ctrlQDoesNothing() {
    ShowMainWindow();
    QTest::keyClick(window_->PasswordBox(), Qt::Key_Q, Qt::ControlModifier);
    QVERIFY(window_->isVisible());
    QVERIFY(boxes_->boxes.empty());
    QVERIFY(window_->PasswordBox()->text().isEmpty());
  }

  void aboutBoxStaysOpenForOtherCommandsAndEsc() {
    int result = -1;
    bool stayed = false;
    WhenModal([&](QWidget* about) {
      QTest::keyClick(about, Qt::Key_Escape);
      platform::qt::SendCommand(about, res::kCommandCancel);
      platform::qt::SendCommand(about, 40000);
      stayed = about->isVisible();
      about->close();
    });
    result = app::OpenAboutDialog(nullptr);
    QVERIFY(stayed);
    QCOMPARE(result, 16);

    WhenModal([](QWidget* about) { platform::qt::SendCommand(about, res::kCommandOk); });
    QCOMPARE(app::OpenAboutDialog(nullptr), 1);
  }

  // Reports from the worker thread reach the item line and the bar.
  void progressReachesTheDialogFromTheWorkerThread() {
    struct Seen {
      QString item;
      int bar = -1;
    };
    static Seen afterHalf;
    static Seen afterEnd;
    auto read = [](void* dialog, Seen* seen) {
      auto* widget = static_cast<QWidget*>(dialog);
      platform::qt::RunOnOwnerThread(widget, [widget, seen] {
        seen->item =
            qobject_cast<QLabel*>(platform::qt::FindDialogItem(widget, res::kControlCurrentItem))
                ->text();
        seen->bar = qobject_cast<QProgressBar*>(
                        platform::qt::FindDialogItem(widget, res::kControlProgressBar))
                        ->value();
      });
    };
    static decltype(read)* reader = &read;
    static Seen afterPath;
    job::WorkerEntry worker = [](void* dialog) {
      job::ReportProgress(0, 4, u"Обрабатываемые файлы");
      job::ReportProgress(2, 4, u"Обрабатываемые файлы");
      (*reader)(dialog, &afterHalf);
      job::ReportProgress(1, 1, u"Полная обработка файлов");
      (*reader)(dialog, &afterEnd);
      // Unpacking names each target by its device path; the user reads it
      // as the folder box writes paths.
      job::ReportProgress(0, 10, u"\\home\\me\\Restored\\docs\\a.txt");
      (*reader)(dialog, &afterPath);
      auto* widget = static_cast<QDialog*>(dialog);
      platform::qt::RunOnOwnerThread(widget, [widget] { widget->done(0); });
    };
    job::OpenProgressDialog(nullptr, worker);
    QCOMPARE(afterHalf.item, QStringLiteral("Обрабатываемые файлы"));
    QCOMPARE(afterHalf.bar, 50);
    QCOMPARE(afterEnd.item, QStringLiteral("Полная обработка файлов"));
    QCOMPARE(afterEnd.bar, 100);
    QCOMPARE(afterPath.item, QStringLiteral("/home/me/Restored/docs/a.txt"));
  }

  // Esc is the cancel command: the process ends at once, and neither the
  // temporary file, nor the file unpacking is writing (under its hidden
  // name), nor the password stays behind.
  void escapeEndsTheRunAtOnce() {
    fs::path temp = fs::temp_directory_path() / ("tessaron-widget-" + std::to_string(::getpid()));
    fs::create_directories(temp);
    QByteArray savedTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QByteArray::fromStdString(temp.string()));
    std::memcpy(job::passwordBytes, "secret", 7);

    static std::atomic<int> files{0};
    static std::atomic<bool> goOn{false};
    files = 0;
    goOn = false;
    job::WorkerEntry worker = [](void*) {
      char16_t path[platform::kMaxPath];
      files += job::ReserveTempFile(path) ? 1 : 0;
      char16_t folderPath[platform::kMaxPath];
      platform::Folder folder;
      platform::File file;
      char16_t staging[platform::kMaxPath] = {};
      if (platform::GetTempFolder(folderPath) && folder.Open(folderPath) &&
          file.CreateStagingIn(folder, u"big.bin", staging)) {
        ++files;
      }
      // The writer is still at it when the process ends; here the ending
      // is only captured, so it gives the file up afterwards.
      while (!goOn) std::this_thread::yield();
      file.Close();
      platform::DeleteIn(folder, staging);
    };
    bool cancelled = false;
    bool leftovers = true;
    WhenModal([&](QWidget* dialog) {
      QTRY_COMPARE(files.load(), 2);
      QTest::keyClick(dialog, Qt::Key_Escape);
      cancelled = ending_->atOnce == std::vector<int>{0};
      leftovers = !fs::is_empty(temp);
      goOn = true;
      static_cast<QDialog*>(dialog)->done(0);
    });
    job::OpenProgressDialog(nullptr, worker);
    if (savedTemp.isNull()) {
      qunsetenv("TMPDIR");
    } else {
      qputenv("TMPDIR", savedTemp);
    }
    goOn = true;
    QVERIFY(cancelled);
    QVERIFY(ending_->orderly.empty());
    QVERIFY(!leftovers);
    QCOMPARE(job::passwordBytes[0], 0);
    fs::remove_all(temp);
  }

  void menuBarHelperReportsAMissingMenu() {
    QWidget parent;
    QVERIFY(job::CreateMenuBar(&parent, 999) == nullptr);
    QCOMPARE(boxes_->boxes.size(), std::size_t{1});
    QVERIFY(boxes_->boxes[0].text == u"SHCreateMenuBar Failed");
    QVERIFY(boxes_->boxes[0].caption == u"Error");
    QCOMPARE(boxes_->boxes[0].style, unsigned{platform::kButtonsOk});
    QCOMPARE(boxes_->boxes[0].owner, static_cast<void*>(&parent));
  }

  // The real boxes: caption as title, Russian buttons, the icon, and a
  // Yes/No question that Esc cannot dismiss.
  void realMessageBoxes() {
    boxes_.reset();
    platform::qt::QtMessageBoxService service;
    bool escapeIgnored = false;
    WhenModal([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      QVERIFY(box != nullptr);
      QCOMPARE(box->windowTitle(), QStringLiteral("Спросить"));
      QCOMPARE(box->text(), QStringLiteral("Сохранить?"));
      QCOMPARE(box->icon(), QMessageBox::Question);
      QCOMPARE(box->buttons().size(), 2);
      QTest::keyClick(box, Qt::Key_Escape);
      escapeIgnored = box->isVisible();
      QTest::mouseClick(ButtonWithText(box, QStringLiteral("Нет")), Qt::LeftButton);
    });
    QCOMPARE(service.Show(nullptr, u"Сохранить?", u"Спросить",
                          platform::kButtonsYesNo | platform::kIconQuestion),
             int{platform::kAnswerNo});
    QVERIFY(escapeIgnored);

    WhenModal([](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      QCOMPARE(box->icon(), QMessageBox::Warning);
      QVERIFY(ButtonWithText(box, QStringLiteral("ОК")) != nullptr);
      QTest::keyClick(box, Qt::Key_Return);
    });
    QCOMPARE(service.Show(nullptr, u"Введите пароль!", u"Совет",
                          platform::kButtonsOk | platform::kIconExclamation),
             int{platform::kAnswerOk});

    WhenModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    QCOMPARE(service.Show(nullptr, u"?", u"", platform::kButtonsOkCancel),
             int{platform::kAnswerCancel});
  }

  // A box asked for by another thread is shown on this one while that
  // thread waits for the answer.
  void messageBoxFromAnotherThread() {
    boxes_.reset();
    platform::qt::QtMessageBoxService service;
    std::atomic<int> answer{-1};
    Qt::HANDLE shownOn = nullptr;
    bool askerWaited = false;
    WhenModal([&](QWidget* box) {
      shownOn = QThread::currentThreadId();
      askerWaited = answer.load() == -1;
      QTest::mouseClick(ButtonWithText(box, QStringLiteral("Да")), Qt::LeftButton);
    });
    std::thread asker([&] {
      answer = service.Show(nullptr, u"Такой папки не существует.Создать?", u"Спросить",
                            platform::kButtonsYesNo | platform::kIconQuestion);
    });
    QTRY_VERIFY(answer.load() != -1);
    asker.join();
    QCOMPARE(answer.load(), int{platform::kAnswerYes});
    QVERIFY(askerWaited);
    QVERIFY(shownOn == QThread::currentThreadId());
  }

 private:
  void ShowMainWindow() {
    window_ = std::make_unique<app::MainWindow>(QStringLiteral("Tessaron"), RecordingWorker);
    app::InstallAccelerators(window_.get());
    window_->show();
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
  }

  void ExpectSingleWarning(std::uint32_t text) {
    QCOMPARE(boxes_->boxes.size(), std::size_t{1});
    char16_t expected[128];
    char16_t caption[128];
    platform::LoadString(res::ProgramInstance(), text, expected);
    platform::LoadString(res::ProgramInstance(), res::kIdsHintCaption, caption);
    const auto& box = boxes_->boxes[0];
    QVERIFY(box.text == expected);
    QVERIFY(box.caption == caption);
    QCOMPARE(box.style, unsigned{platform::kButtonsOk | platform::kIconExclamation});
    QCOMPARE(box.owner, static_cast<void*>(window_.get()));
  }

  std::unique_ptr<app::MainWindow> window_;
  std::unique_ptr<test_support::ScriptedMessageBox> boxes_;
  std::unique_ptr<test_support::CapturedEnding> ending_;
};

QTEST_MAIN(AppWidgetTest)
#include "app_widget_test.moc"
