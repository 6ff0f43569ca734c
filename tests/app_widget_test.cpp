// The application in process on Qt's offscreen platform, started as the
// program starts (platform::RunProcess) and driven through its windowing
// interface and the keyboard: the form's checks and what it hands to the
// job, the soft keys and accelerators in the real message loop, the about
// box, the progress dialog fed from the worker thread and its cancel
// command, and the real message boxes. The function `screenshots` saves
// pictures of the form, the progress dialog and the about box into the
// folder named by TESSARON_SCREENSHOTS.
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "app/about_dialog.h"
#include "app/command_line.h"
#include "app/main_window.h"
#include "app/start_up.h"
#include "job/globals.h"
#include "job/progress_callback.h"
#include "job/progress_dialog.h"
#include "job/soft_keys.h"
#include "job/temporary_package.h"
#include "job/worker.h"
#include "platform/dialog.h"
#include "platform/files.h"
#include "platform/language.h"
#include "platform/message_loop.h"
#include "platform/process_entry.h"
#include "platform/screen.h"
#include "platform/temp_files.h"
#include "platform/ui_qt/testing.h"
#include "res/program_strings.h"
#include "res/resource_ids.h"
#include "res/resources.h"
#include "tests/captured_ending.h"
#include "tests/scripted_message_box.h"

namespace fs = std::filesystem;
using platform::Message;
using platform::Window;
using platform::qt::HandleOf;
using platform::qt::WidgetOf;

namespace {

QWidget* Control(Window window, int id) { return WidgetOf(platform::GetControl(window, id)); }

QString Text(Window window, int id) {
  char16_t text[platform::kMaxPath];
  platform::GetText(platform::GetControl(window, id), text, platform::kMaxPath);
  return QString::fromUtf16(text);
}

QPushButton* ButtonWithText(QWidget* window, const QString& text) {
  for (QPushButton* button : window->findChildren<QPushButton*>()) if (button->text() == text) return button;
  return nullptr;
}

// Every control of `dialog` lies inside it, so inside the device screen.
bool ControlsInside(QWidget* dialog) {
  for (QWidget* child : dialog->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (!dialog->rect().contains(child->geometry())) return false;
  }
  return true;
}

// The destination the worker found when the dialog started it, if it did.
// It ends the dialog, as if the run ended.
std::optional<std::u16string> startedInto;

void RecordingWorker(void* dialog) {
  startedInto = job::destinationFolder;
  auto handle = static_cast<Window>(dialog);
  platform::qt::RunOnOwnerThread(WidgetOf(handle), [handle] { platform::EndModalDialog(handle, 0); });
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

// Runs the message loop of `window` with its accelerators, `script` started
// inside it; the script ends it (F2). A stuck script is ended after 20 s.
int RunLoop(Window window, const std::function<void()>& script) {
  QTimer::singleShot(0, script);
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { platform::PostQuit(-1); });
  guard.start(20000);
  return platform::RunMessageLoop(window, res::FindAccelerators(res::kAcceleratorTable));
}

}  // namespace

class AppWidgetTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    job::instance = res::ProgramInstance();
    platform::WideCopy(job::destinationFolder, u"\\tmp\\out");
    job::WipePassword();
    job::workerEntry = RecordingWorker;
    startedInto.reset();
    boxes_ = std::make_unique<test_support::ScriptedMessageBox>();
    ending_ = std::make_unique<test_support::CapturedEnding>();
  }

  void cleanup() {
    if (guard_ != nullptr) platform::Destroy(window_);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    job::JoinWorker();
    job::workerEntry = job::RunWorker;
    boxes_.reset();
    ending_.reset();
  }

  // The rectangles of the device's layout at this screen's scale (S = 1 at
  // 240 x 320, 2 at 480 x 800), the password hidden, the folder in host
  // spelling, the soft keys along the bottom, the title, the icon and the
  // look (a font sized by the scale, a style that draws the same everywhere).
  void formAtThisScreen() {
    ShowMainWindow();
    int s = platform::screenMetrics.scale;
    QWidget* window = WidgetOf(window_);
    auto* password = qobject_cast<QLineEdit*>(Control(window_, res::kControlPasswordBox));
    QCOMPARE(window->size(), QSize(platform::screenMetrics.width, platform::screenMetrics.height));
    QCOMPARE(password->geometry(), QRect(10 * s, 44 * s, 190 * s, 20 * s));
    QCOMPARE(Control(window_, res::kControlFolderBox)->geometry(), QRect(10 * s, 98 * s, 190 * s, 20 * s));
    QCOMPARE(Control(window_, res::kControlBrowse)->geometry(), QRect(204 * s, 98 * s, 20 * s, 20 * s));
    QVERIFY(password->hasFocus() && password->echoMode() == QLineEdit::Password);
    QCOMPARE(Text(window_, res::kControlFolderBox), QStringLiteral("/tmp/out"));
    for (const char* key : {"Выполнить", "Отмена"}) {
      QPushButton* button = ButtonWithText(window, QString::fromUtf8(key));
      QVERIFY2(button != nullptr, key);
      QCOMPARE(button->mapTo(window, QPoint(0, button->height())).y(), window->height());
    }
    QCOMPARE(window->windowTitle(), QStringLiteral("Tessaron"));
    QVERIFY(!window->windowIcon().isNull());
    QCOMPARE(window->font().pixelSize(), 11 * s);
    QCOMPARE(QApplication::style()->name(), QStringLiteral("fusion"));
  }

  // The left soft key with what the user left in the form: a warning that
  // leaves the form as it was, or the run with the password in Windows-1251
  // (31 characters at most, as the box shows them) and the folder as an
  // absolute device path, after which the window closes. F2 closes it
  // otherwise; either way the message loop ends with 0.
  void form_data() {
    QTest::addColumn<QString>("password");  // put in the box
    QTest::addColumn<QString>("typed");     // typed after it
    QTest::addColumn<QString>("folder");    // null: as the form shows it
    QTest::addColumn<bool>("click");        // the soft key clicked rather than F1
    QTest::addColumn<QString>("warning");   // empty: the run starts
    QTest::addColumn<QByteArray>("bytes");  // the password bytes left for the job
    const QString none;
    const QString secret = QStringLiteral("secret");
    const QString enterPassword = QStringLiteral("Введите пароль!");
    const QString badPath = QStringLiteral("Недопустимый путь к файлу");
    QTest::newRow("no password") << none << none << none << false << enterPassword << QByteArray();
    QTest::newRow("no password, key clicked") << none << none << none << true << enterPassword << QByteArray();
    QTest::newRow("outside the code page") << QStringLiteral("пароль密") << none << none << false
        << QStringLiteral("Пароль содержит недопустимый символ") << QByteArray();
    QTest::newRow("no folder") << none << secret << QString("") << false
                               << QStringLiteral("Укажите путь к файлу") << secret.toUtf8();
    QTest::newRow("backslash in folder")
        << none << secret << QStringLiteral("/tmp/a\\b") << false << badPath << secret.toUtf8();
    // The box keeps the 259 characters a path holds, not an absolute path.
    QTest::newRow("folder too long")
        << none << secret << QString(300, QLatin1Char('d')) << false << badPath << secret.toUtf8();
    QTest::newRow("run") << QStringLiteral("пароль") << QString(34, QLatin1Char('x'))
                         << QStringLiteral("relative/out") << true << none
                         << QByteArray("\xEF\xE0\xF0\xEE\xEB\xFC") + QByteArray(25, 'x');
  }
  void form() {
    QFETCH(QString, password);
    QFETCH(QString, typed);
    QFETCH(QString, folder);
    QFETCH(bool, click);
    QFETCH(QString, warning);
    QFETCH(QByteArray, bytes);
    ShowMainWindow();
    auto* passwordBox = qobject_cast<QLineEdit*>(Control(window_, res::kControlPasswordBox));
    auto* folderBox = qobject_cast<QLineEdit*>(Control(window_, res::kControlFolderBox));
    QString passwordShown;
    QString folderShown;
    int exitCode = RunLoop(window_, [&] {
      passwordBox->setText(password);  // keyClicks types ASCII only
      QTest::keyClicks(passwordBox, typed);
      if (!folder.isNull()) folderBox->setText(folder);
      passwordShown = passwordBox->text();
      folderShown = folderBox->text();
      if (!folder.isNull()) QCOMPARE(folderShown, folder.left(platform::kMaxPath - 1));
      if (click) {
        QTest::mouseClick(ButtonWithText(WidgetOf(window_), QStringLiteral("Выполнить")), Qt::LeftButton);
      } else {
        QTest::keyClick(passwordBox, Qt::Key_F1);
      }
      if (warning.isEmpty()) return;  // the run closes the window
      QCOMPARE(passwordBox->text(), passwordShown);
      QCOMPARE(folderBox->text(), folderShown);
      QVERIFY(WidgetOf(window_)->isVisible());
      QTest::keyClick(passwordBox, Qt::Key_F2);
    });
    QCOMPARE(exitCode, 0);
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(job::passwordBytes)), bytes);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(guard_.isNull());
    if (warning.isEmpty()) {
      QCOMPARE(passwordShown, QStringLiteral("пароль") + QString(25, QLatin1Char('x')));
      char16_t expected[platform::kMaxPath];
      QVERIFY(app::HostPathToDevice("relative/out", expected));
      QVERIFY(startedInto == expected);
      QVERIFY(boxes_->boxes.empty());
      return;
    }
    QVERIFY(!startedInto);
    QCOMPARE(boxes_->boxes.size(), std::size_t{1});
    const auto& box = boxes_->boxes[0];
    QCOMPARE(QString::fromStdU16String(box.text), warning);
    QCOMPARE(QString::fromStdU16String(box.caption), QStringLiteral("Совет"));
    QCOMPARE(box.style, unsigned{platform::kButtonsOk | platform::kIconExclamation});
    QCOMPARE(box.owner, static_cast<void*>(window_));
  }

  // The button beside the folder box, reached with Tab and pressed with
  // Space, opens the folder chooser at the box's folder; its choice goes
  // into the box, where the keyboard focus returns.
  void folderChooser() {
    ShowMainWindow();
    const QString chosen = QDir::tempPath();
    QString title;
    QString start;
    WhenModal([&](QWidget* modal) {
      auto* chooser = qobject_cast<QFileDialog*>(modal);
      title = modal->windowTitle();
      start = chooser->directory().absolutePath();
      chooser->setDirectory(chosen);
      QMetaObject::invokeMethod(chooser, "accept");
    });
    auto* folderBox = qobject_cast<QLineEdit*>(Control(window_, res::kControlFolderBox));
    folderBox->setText(QDir::rootPath());
    folderBox->setFocus();
    QTest::keyClick(folderBox, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), Control(window_, res::kControlBrowse));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);  // returns once chosen
    QCOMPARE(title, QStringLiteral("Выберите папку"));
    QCOMPARE(start, QDir::rootPath());
    QCOMPARE(folderBox->text(), chosen);
    QCOMPARE(WidgetOf(window_)->focusWidget(), folderBox);
  }

  // Started without a file, the program asks for one in the file chooser,
  // containers first: Cancel ends it with 0 and no window; a chosen file
  // gets the window, titled with its name, as if it had been on the
  // command line.
  void startWithoutAFile_data() {
    QTest::addColumn<bool>("choose");
    QTest::newRow("cancelled") << false;
    QTest::newRow("chosen") << true;
  }
  void startWithoutAFile() {
    QFETCH(bool, choose);
    QTemporaryDir runtime;  // where instances meet, private to this test
    QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    QFile(runtime.filePath(QStringLiteral("report.kva"))).open(QIODevice::WriteOnly);
    QString caption;
    QStringList filters;
    QString title;
    WhenModal([&](QWidget* modal) {
      auto* chooser = qobject_cast<QFileDialog*>(modal);
      caption = chooser->windowTitle();
      filters = chooser->nameFilters();
      if (!choose) return chooser->reject();
      // The chooser leaves its name box alone while that has the focus (on a busy machine, it may).
      if (QWidget* focused = QApplication::focusWidget()) focused->clearFocus();
      chooser->selectFile(runtime.filePath(QStringLiteral("report.kva")));
      QMetaObject::invokeMethod(chooser, "accept");
    });
    QTimer closer;  // the window, once there, is closed with its right soft key
    QObject::connect(&closer, &QTimer::timeout, [&] {
      for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || !window->windowTitle().endsWith(QStringLiteral("Tessaron"))) continue;
        title = window->windowTitle();
        closer.stop();
        platform::SendToWindow(HandleOf(window), Message::kCommand, res::kCommandCancel);
      }
    });
    closer.start(20);
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [] {  // a stuck chooser fails, not hangs
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
      platform::PostQuit(-1);
    });
    guard.start(10000);
    int exitCode = app::RunProgram("");
    savedRuntime.isNull() ? qunsetenv("XDG_RUNTIME_DIR") : qputenv("XDG_RUNTIME_DIR", savedRuntime);
    QCOMPARE(exitCode, 0);
    QCOMPARE(caption, QStringLiteral("Выберите зашифрованный файл"));
    QCOMPARE(filters, QStringList({QStringLiteral("Контейнеры KVA (*.kva)"), QStringLiteral("Все файлы (*)")}));
    QCOMPARE(title, choose ? QStringLiteral("report.kva — Tessaron") : QString());
  }

  // A command line naming no usable file gets one error box, quoting an option up to its first blank.
  void startErrors() {
    const std::string tooLong = "/" + std::string(300, 'a');
    for (const auto& [commandLine, text] : {std::pair<const char*, QString>{"-platform offscreen", "Неизвестный параметр: -platform"},
                                            {"--x", "Неизвестный параметр: --x"}, {tooLong.c_str(), "Недопустимый путь к файлу"}}) {
      boxes_->boxes.clear();
      QCOMPARE(app::RunProgram(commandLine), 0);
      QCOMPARE(boxes_->boxes.size(), std::size_t{1});
      QCOMPARE(QString::fromStdU16String(boxes_->boxes[0].text + u" " + boxes_->boxes[0].caption), text + " Ошибка");
    }
  }

  // A later start's file: the running window names it, in host spelling,
  // in a box owned by its frontmost window; its own file it passes over.
  void anotherFile() {
    ShowMainWindow();
    platform::WideCopy(job::sourcePath, u"\\tmp\\mine.kva");
    for (const char16_t* file : {u"\\tmp\\mine.kva", u"\\tmp\\other.kva"}) {
      platform::SendToWindow(window_, Message::kCopyData, reinterpret_cast<std::intptr_t>(file));
    }
    QCOMPARE(boxes_->boxes.size(), std::size_t{1});
    const auto& box = boxes_->boxes[0];
    QCOMPARE(QString::fromStdU16String(box.text),
             QStringLiteral("Одновременно открывается только один контейнер. Этот файл не открыт:\n"
                            "/tmp/other.kva"));
    QCOMPARE(QString::fromStdU16String(box.caption), QStringLiteral("Совет"));
    QCOMPARE(box.style, unsigned{platform::kButtonsOk | platform::kIconExclamation});
    QCOMPARE(box.owner, static_cast<void*>(window_));
  }

  // Ctrl+A is the window's (not the box's "select all") and opens the about
  // box, which only its OK button (or closing it) ends; Ctrl+Q reaches
  // nobody.
  void acceleratorsAndTheAboutBox() {
    ShowMainWindow();
    bool seen = false;
    int exitCode = RunLoop(window_, [&] {
      QWidget* box = Control(window_, res::kControlPasswordBox);
      QTest::keyClicks(box, QStringLiteral("abc"));
      WhenModal([&](QWidget* about) {
        seen = true;
        Window handle = HandleOf(about);
        QCOMPARE(Text(handle, res::kControlNotice), QStringLiteral("Tessaron（解密） 1.0.2 版"));
        QVERIFY(!qobject_cast<QLabel*>(Control(handle, res::kControlAboutIcon))->pixmap().isNull());
        QCOMPARE(about->windowTitle(), QStringLiteral(" "));
        QVERIFY(ControlsInside(about));
        QTest::keyClick(about, Qt::Key_Escape);
        platform::SendToWindow(handle, Message::kCommand, res::kCommandCancel);
        platform::SendToWindow(handle, Message::kCommand, res::kCommandQuit);
        QVERIFY(about->isVisible());
        QTest::mouseClick(about->findChild<QPushButton*>(QStringLiteral("okInCaption")), Qt::LeftButton);
      });
      QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);  // returns when the box is closed
      QVERIFY(seen);
      QVERIFY(QApplication::activeModalWidget() == nullptr);
      QVERIFY(!qobject_cast<QLineEdit*>(box)->hasSelectedText());
      QTest::keyClick(box, Qt::Key_Q, Qt::ControlModifier);
      QCOMPARE(qobject_cast<QLineEdit*>(box)->text(), QStringLiteral("abc"));
      // Back from the box, as a window manager would bring it (the soft keys
      // answer in the active window).
      WidgetOf(window_)->activateWindow();
      QVERIFY(QTest::qWaitForWindowActive(WidgetOf(window_)));
      QTest::keyClick(box, Qt::Key_F2);
    });
    QCOMPARE(exitCode, 0);
    QVERIFY(seen);
    QVERIFY(boxes_->boxes.empty());

    WhenModal([](QWidget* about) { about->close(); });  // the window manager's button
    QCOMPARE(app::OpenAboutDialog(nullptr), 16);
  }

  // The progress dialog over a run: reports from the worker thread reach
  // the item line (a path in host spelling) and the bar, which a position
  // beyond its range fills. Esc is the cancel command: the process ends at
  // once, and neither the temporary file, nor the file unpacking is writing
  // (under its hidden name), nor the password stays behind. Closing the
  // dialog is the cancel command too.
  void progressDialog() {
    static const struct {
      std::uint32_t done, total;
      const char16_t* text;
      const char* item;
      int bar;
    } reports[] = {
        {2, 4, u"Обрабатываемые файлы", "Обрабатываемые файлы", 50},
        {1, 1, u"Полная обработка файлов", "Полная обработка файлов", 100},
        {0, 10, u"\\home\\me\\Restored\\docs\\a.txt", "/home/me/Restored/docs/a.txt", 0},
        {4000000000u, 1, nullptr, "/home/me/Restored/docs/a.txt", 100},
    };
    static std::pair<QString, int> seen[std::size(reports)];
    static std::atomic<int> files{0};
    static std::atomic<bool> goOn{false};
    files = 0;
    goOn = false;
    fs::path temp = fs::temp_directory_path() / ("tessaron-widget-" + std::to_string(::getpid()));
    fs::create_directories(temp);
    QByteArray savedTemp = qgetenv("TMPDIR");
    qputenv("TMPDIR", QByteArray::fromStdString(temp.string()));
    std::memcpy(job::passwordBytes, "secret", 7);
    job::workerEntry = [](void* dialog) {
      auto handle = static_cast<Window>(dialog);
      auto* bar = qobject_cast<QProgressBar*>(Control(handle, res::kControlProgressBar));
      for (std::size_t i = 0; i < std::size(reports); ++i) {
        job::ReportProgress(reports[i].done, reports[i].total, reports[i].text);
        seen[i].first = Text(handle, res::kControlCurrentItem);
        platform::qt::RunOnOwnerThread(bar, [i, bar] { seen[i].second = bar->value(); });
      }
      files += job::ReserveTempFile() != nullptr && job::ReserveTempFile() != nullptr ? 1 : 0;  // a second run reserves anew
      char16_t folderPath[platform::kMaxPath];
      platform::Folder folder;
      platform::File file;
      if (platform::GetTempFolder(folderPath) && folder.Open(folderPath) && file.CreateUnnamedIn(folder)) ++files;
      // The writer is still at it when the process ends; here the ending
      // is only captured, so it gives the file up afterwards.
      while (!goOn) std::this_thread::yield();
      file.Close();
    };
    bool cancelled = false;
    bool leftovers = true;
    bool inside = false;
    WhenModal([&](QWidget* dialog) {
      QTRY_COMPARE(files.load(), 2);
      inside = ControlsInside(dialog);
      QTest::keyClick(dialog, Qt::Key_Escape);
      leftovers = !fs::is_empty(temp);
      dialog->close();
      cancelled = ending_->atOnce == std::vector<int>{0, 0};
      goOn = true;
      platform::EndModalDialog(HandleOf(dialog), 0);
    });
    job::OpenProgressDialog(nullptr);
    savedTemp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", savedTemp);
    goOn = true;
    fs::remove_all(temp);
    for (std::size_t i = 0; i < std::size(reports); ++i) {
      QCOMPARE(seen[i], std::make_pair(QString::fromUtf8(reports[i].item), reports[i].bar));
    }
    QVERIFY(inside);
    QVERIFY(cancelled);
    QVERIFY(ending_->orderly.empty());
    QVERIFY(!leftovers);
    QCOMPARE(job::passwordBytes[0], 0);
    QVERIFY(job::progressDialog == nullptr && job::progressBar == nullptr);
  }

  void menuBarHelperReportsAMissingMenu() {
    QWidget parent;
    QVERIFY(job::CreateMenuBar(HandleOf(&parent), 999) == nullptr);
    QCOMPARE(boxes_->boxes.size(), std::size_t{1});
    const auto& box = boxes_->boxes[0];
    QVERIFY(box.text == u"SHCreateMenuBar Failed" && box.caption == u"Error" && box.owner == &parent);
    QCOMPARE(box.style, unsigned{platform::kButtonsOk});
  }

  // The real boxes: asked for by another thread, shown on this one while
  // that thread waits; caption as title, Russian buttons, the icon, and a
  // Yes/No question that Esc cannot dismiss (Esc must never mean "Нет").
  void realMessageBoxes() {
    boxes_.reset();
    platform::qt::QtMessageBoxService service;
    std::atomic<int> answer{-1};
    bool asExpected = false;
    WhenModal([&](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      QTest::keyClick(box, Qt::Key_Escape);
      asExpected = box->isVisible() && answer.load() == -1 &&
                   box->windowTitle() == QStringLiteral("Спросить") &&
                   box->text() == QStringLiteral("Сохранить?") &&
                   box->icon() == QMessageBox::Question &&
                   ButtonWithText(box, QStringLiteral("Да")) != nullptr;
      QTest::mouseClick(ButtonWithText(box, QStringLiteral("Нет")), Qt::LeftButton);
    });
    std::thread asker([&] {
      answer = service.Show(nullptr, u"Сохранить?", u"Спросить", platform::kButtonsYesNo | platform::kIconQuestion);
    });
    QTRY_VERIFY(answer.load() != -1);
    asker.join();
    QCOMPARE(answer.load(), int{platform::kAnswerNo});
    QVERIFY(asExpected);
  }

  // Pictures for review, in the resource language: the form with a
  // password typed, the progress dialog part of the way through a file,
  // the about box.
  void screenshots() {
    QString folderName = qEnvironmentVariable("TESSARON_SCREENSHOTS");
    if (folderName.isEmpty()) QSKIP("TESSARON_SCREENSHOTS names no folder");
    QDir folder(folderName);
    QVERIFY(folder.mkpath(QStringLiteral(".")));
    auto save = [&folder](QWidget* widget, const char* name) {
      QApplication::processEvents();
      QString path = folder.filePath(QString::fromUtf8(name));
      QVERIFY2(widget->grab().save(path), qPrintable(path));
    };
    // The user's folder as a user of that language would have it.
    static std::u16string documents = platform::ResourceLanguage() == platform::Language::kEnglish
        ? u"\\home\\user\\Documents" : u"\\home\\user\\Документы";
    platform::WideCopy(job::destinationFolder, documents.c_str());
    ShowMainWindow();
    platform::SetText(platform::GetControl(window_, res::kControlPasswordBox), u"sample-2026");
    save(WidgetOf(window_), "main-form.png");

    static std::atomic<bool> reported{false};
    reported = false;
    job::workerEntry = [](void*) {
      job::ReportProgress(40, 100, (documents + u"\\Tessaron sample\\docs\\numbers.csv").c_str());
      reported = true;
    };
    WhenModal([&](QWidget* dialog) {
      QTRY_VERIFY(reported.load());
      save(dialog, "progress-dialog.png");
      platform::EndModalDialog(HandleOf(dialog), 0);
    });
    job::OpenProgressDialog(window_);

    WhenModal([&](QWidget* about) {
      save(about, "about-box.png");
      about->close();
    });
    app::OpenAboutDialog(window_);
  }

 private:
  void ShowMainWindow() {
    window_ = platform::CreateMainWindow(u"TESSARON", u"Tessaron", res::kIconProgram, app::MainWindowProcedure);
    guard_ = WidgetOf(window_);
    guard_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(guard_.data()));
  }

  Window window_ = nullptr;
  QPointer<QWidget> guard_;  // the main window, while it lasts
  std::unique_ptr<test_support::ScriptedMessageBox> boxes_;
  std::unique_ptr<test_support::CapturedEnding> ending_;
};

namespace {

int argumentCount = 0;
char** arguments = nullptr;

int RunTests(const char* /*commandLine*/) {
  AppWidgetTest test;
  return QTest::qExec(&test, argumentCount, arguments);
}

}  // namespace

int main(int argc, char** argv) {
  argumentCount = argc;
  arguments = argv;
  return platform::RunProcess(argc, argv, RunTests);
}

#include "app_widget_test.moc"
