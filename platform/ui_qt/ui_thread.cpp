#include "platform/ui_qt/ui_thread.h"

#include <QMetaObject>
#include <QObject>
#include <QThread>

namespace platform::qt {

void RunOnOwnerThread(QObject* context, const std::function<void()>& call) {
  if (context->thread() == QThread::currentThread()) {
    call();
    return;
  }
  QMetaObject::invokeMethod(context, call, Qt::BlockingQueuedConnection);
}

}  // namespace platform::qt
