#include "ui/QtMainThread.h"

#include <QMetaObject>
#include <QThread>

namespace pelcrow::ui {

TQtMainThread::TQtMainThread(QObject* context) : fContext(context) {}

void TQtMainThread::Post(std::function<void()> fn) {
  QMetaObject::invokeMethod(fContext, [fn = std::move(fn)] { fn(); }, Qt::QueuedConnection);
}

void TQtMainThread::Call(std::function<void()> fn) {
  if (IsMainThread()) {
    fn();
    return;
  }
  QMetaObject::invokeMethod(fContext, [&fn] { fn(); }, Qt::BlockingQueuedConnection);
}

bool TQtMainThread::IsMainThread() const { return QThread::currentThread() == fContext->thread(); }

}  // namespace pelcrow::ui
