// One running instance per user on Qt: the instances meet in a private
// folder (platform/instance_lock.h), and the running one answers later
// starts on a local socket there; a later start writes the device path of
// its file (UTF-16) and closes its end.
#include "platform/single_instance.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/instance_lock.h"
#include "platform/ui_qt/back_end.h"
#include "platform/wide_string.h"

namespace platform {
namespace {

constexpr int kConnectTimeoutMs = 500;
// How long a start that finds the lock taken waits for its holder to
// answer (it may still be setting its window up). It gives way when the
// time is up all the same: the holder runs, and only the raising of its
// window is lost.
constexpr int kWaitForHolderMs = 3000;
constexpr int kRetryMs = 50;

// The socket of the instance this process is, once it holds the lock.
QString publishedSocket;

// Letters and digits are kept; anything else becomes '_' so that the name
// is a plain file name.
QString BaseName(const char16_t* className, const char16_t* programName) {
  QString name =
      QString::fromUtf16(className) + QLatin1Char('-') + QString::fromUtf16(programName);
  for (QChar& c : name) {
    if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('-')) {
      c = QLatin1Char('_');
    }
  }
  return name;
}

bool ConnectTo(const QString& socketPath, const char16_t* file) {
  QLocalSocket socket;
  socket.connectToServer(socketPath);
  if (!socket.waitForConnected(kConnectTimeoutMs)) return false;
  socket.write(reinterpret_cast<const char*>(file),
               static_cast<qint64>(WideLength(file) * sizeof(char16_t)));
  socket.disconnectFromServer();  // once what was written is sent
  if (socket.state() != QLocalSocket::UnconnectedState) {
    socket.waitForDisconnected(kConnectTimeoutMs);
  }
  return true;
}

void BringToFront(QWidget* window) {
  if (window->isMinimized()) window->showNormal();
  window->raise();
  window->activateWindow();
  // Then the windows it owns, so that a modal dialog stays on top of it.
  const QWidgetList windows = QApplication::topLevelWidgets();
  for (QWidget* other : windows) {
    if (other != window && other->isVisible() && other->parentWidget() != nullptr &&
        other->parentWidget()->window() == window) {
      other->raise();
      other->activateWindow();
    }
  }
}


// What a later start wrote, once it has closed its end: the window comes
// to the front, and hears of the file (at most a path's length of it).
void Answer(QLocalSocket* socket, QWidget* window) {
  auto said = std::make_shared<QByteArray>();
  QObject::connect(socket, &QLocalSocket::readyRead, window, [socket, said] {
    said->append(socket->read(static_cast<qint64>(kMaxPath * sizeof(char16_t)) - said->size()));
  });
  QObject::connect(socket, &QLocalSocket::disconnected, window, [socket, said, window] {
    said->append(socket->read(static_cast<qint64>(kMaxPath * sizeof(char16_t)) - said->size()));
    socket->deleteLater();
    BringToFront(window);
    std::u16string file((static_cast<std::size_t>(said->size()) / 2), u'\0');
    std::memcpy(file.data(), said->constData(), file.size() * sizeof(char16_t));
    file.resize(std::min(WideLength(file.c_str()), kMaxPath - 1));
    // Later, from the event loop: the procedure may show a modal box.
    if (!file.empty()) {
      QTimer::singleShot(0, window, [window, file] {
        qt::Dispatch(window, Message::kCopyData, reinterpret_cast<std::intptr_t>(file.c_str()));
      });
    }
  });
}

}  // namespace

bool ForegroundExistingWindow(const char16_t* className, const char16_t* name,
                              const char16_t* file, bool* told) {
  *told = false;
  std::string folder;
  if (!PrivateRuntimeFolder(&folder)) return false;
  QString base = QString::fromStdString(folder) + QLatin1Char('/') + BaseName(className, name);
  std::string lockPath = (base + QStringLiteral(".lock")).toStdString();
  QString socketPath = base + QStringLiteral(".socket");

  QDeadlineTimer deadline(kWaitForHolderMs);
  for (;;) {
    switch (TakeInstanceLock(lockPath)) {
      case InstanceLock::kTaken:
        publishedSocket = socketPath;
        return false;
      case InstanceLock::kUnavailable:
        return false;
      case InstanceLock::kHeldByAnother:
        break;
    }
    // The holder runs: it answers once its window is up. If it ends
    // meanwhile, the lock comes free and this start takes over.
    if (ConnectTo(socketPath, file)) {
      *told = true;
      return true;
    }
    // One that never answers still runs: this start gives way all the same.
    if (deadline.hasExpired()) return true;
    QThread::msleep(kRetryMs);
  }
}

bool PublishWindow(Window handle) {
  QWidget* window = qt::WidgetOf(handle);
  if (publishedSocket.isEmpty()) return false;
  // This process holds the lock, so a socket already there is a leftover
  // of an instance that ended without removing it.
  QLocalServer::removeServer(publishedSocket);
  auto* server = new QLocalServer(window);
  server->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server->listen(publishedSocket)) {
    delete server;
    return false;
  }
  QObject::connect(server, &QLocalServer::newConnection, window, [server, window] {
    while (QLocalSocket* socket = server->nextPendingConnection()) Answer(socket, window);
  });
  return true;
}

}  // namespace platform
