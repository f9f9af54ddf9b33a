// The core's hand-over to the user-interface thread, through Qt's queued invocations.
#pragma once

#include <QObject>

#include "base/MainThread.h"

namespace pelcrow::ui {

class TQtMainThread final : public IMainThread {
 public:
  explicit TQtMainThread(QObject* context);
  void Post(std::function<void()> fn) override;
  void Call(std::function<void()> fn) override;
  bool IsMainThread() const override;

 private:
  QObject* fContext;
};

}  // namespace pelcrow::ui
