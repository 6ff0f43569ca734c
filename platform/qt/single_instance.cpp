#include "platform/qt/single_instance.h"

#include <unistd.h>

#include <QApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>

namespace platform::qt {
namespace {

constexpr int kConnectTimeoutMs = 2000;

// Letters and digits are kept; anything else becomes '_' so that the name
// is a plain file name.
QString ServerName(const char16_t* className, const char16_t* title) {
  QString name = QString::fromUtf16(className) + QLatin1Char('-') + QString::fromUtf16(title) +
                 QLatin1Char('-') + QString::number(::getuid());
  for (QChar& c : name) {
    if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('-')) {
      c = QLatin1Char('_');
    }
  }
  return name;
}

bool ConnectTo(const QString& name) {
  QLocalSocket socket;
  socket.connectToServer(name);
  if (!socket.waitForConnected(kConnectTimeoutMs)) return false;
  socket.disconnectFromServer();
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

}  // namespace

bool ForegroundExistingWindow(const char16_t* className, const char16_t* title) {
  return ConnectTo(ServerName(className, title));
}

bool PublishWindow(QWidget* window, const char16_t* className, const char16_t* title) {
  QString name = ServerName(className, title);
  auto* server = new QLocalServer(window);
  server->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server->listen(name)) {
    // Either an instance started at the same moment (its socket answers)
    // or one that ended without removing its socket: only the latter may be
    // removed.
    if (server->serverError() != QAbstractSocket::AddressInUseError || ConnectTo(name) ||
        !QLocalServer::removeServer(name) || !server->listen(name)) {
      delete server;
      return false;
    }
  }
  QObject::connect(server, &QLocalServer::newConnection, window, [server, window] {
    while (QLocalSocket* socket = server->nextPendingConnection()) {
      socket->disconnectFromServer();
      socket->deleteLater();
    }
    BringToFront(window);
  });
  return true;
}

}  // namespace platform::qt
