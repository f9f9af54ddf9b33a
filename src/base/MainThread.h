// Hand-over to the user-interface thread. The core never touches a view or asks a question from a
// worker: it posts the work here. The app implements this with queued Qt invocations; the CLI and
// the tests use TQueueMainThread, a plain loop driven by the thread that created it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace pelcrow {

class IMainThread {
 public:
  virtual ~IMainThread() = default;
  // Runs fn later on the user-interface thread; never blocks.
  virtual void Post(std::function<void()> fn) = 0;
  // Runs fn on the user-interface thread and returns when it has run (inline when called there).
  virtual void Call(std::function<void()> fn) = 0;
  virtual bool IsMainThread() const = 0;
};

// The process-wide hand-over; a TQueueMainThread owned by the first caller's thread unless the
// front end installs its own.
IMainThread& GetMainThread();
void SetMainThread(IMainThread* mainThread);

class TQueueMainThread final : public IMainThread {
 public:
  TQueueMainThread();
  void Post(std::function<void()> fn) override;
  void Call(std::function<void()> fn) override;
  bool IsMainThread() const override { return std::this_thread::get_id() == fOwner; }

  // Runs what is queued now; returns how many tasks ran.
  int ProcessEvents();
  // Waits up to `timeout` for work, then runs what is queued.
  int WaitAndProcess(std::chrono::milliseconds timeout);
  // Runs queued work until pred() holds.
  void RunUntil(const std::function<bool()>& pred);

 private:
  std::thread::id fOwner;
  std::mutex fLock;
  std::condition_variable fWake;
  std::deque<std::function<void()>> fQueue;
};

}  // namespace pelcrow
