// Ending the process of the Qt application (platform/process_end.h).
#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <cstdio>
#include <cstdlib>

#include "platform/ui_qt/back_end.h"

namespace platform::qt {

void QtProcessEnding::End(int exitCode) {
  QCoreApplication* application = QCoreApplication::instance();
  if (application == nullptr) std::exit(exitCode);
  if (application->thread() == QThread::currentThread()) {
    QCoreApplication::exit(exitCode);
    return;
  }
  // Queued, not waited for: the worker returns at once and the main
  // function joins it before the process ends.
  QMetaObject::invokeMethod(
      application, [exitCode] { QCoreApplication::exit(exitCode); }, Qt::QueuedConnection);
}

void QtProcessEnding::EndAtOnce(int exitCode) {
  std::fflush(nullptr);
  std::_Exit(exitCode);
}

}  // namespace platform::qt
