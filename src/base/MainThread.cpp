#include "base/MainThread.h"

#include <atomic>
#include <future>

namespace pelcrow {

namespace {
std::atomic<IMainThread*> gMainThread{nullptr};
}

IMainThread& GetMainThread() {
  IMainThread* mt = gMainThread.load(std::memory_order_acquire);
  if (mt) return *mt;
  static TQueueMainThread fallback;
  IMainThread* expected = nullptr;
  gMainThread.compare_exchange_strong(expected, &fallback, std::memory_order_acq_rel);
  return *gMainThread.load(std::memory_order_acquire);
}

void SetMainThread(IMainThread* mainThread) { gMainThread.store(mainThread, std::memory_order_release); }

TQueueMainThread::TQueueMainThread() : fOwner(std::this_thread::get_id()) {}

void TQueueMainThread::Post(std::function<void()> fn) {
  {
    std::lock_guard<std::mutex> g(fLock);
    fQueue.push_back(std::move(fn));
  }
  fWake.notify_all();
}

void TQueueMainThread::Call(std::function<void()> fn) {
  if (IsMainThread()) {
    fn();
    return;
  }
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> f = done->get_future();
  Post([fn = std::move(fn), done]() {
    try {
      fn();
      done->set_value();
    } catch (...) {
      done->set_exception(std::current_exception());
    }
  });
  f.get();
}

int TQueueMainThread::ProcessEvents() {
  std::deque<std::function<void()>> batch;
  {
    std::lock_guard<std::mutex> g(fLock);
    batch.swap(fQueue);
  }
  for (auto& fn : batch) fn();
  return static_cast<int>(batch.size());
}

int TQueueMainThread::WaitAndProcess(std::chrono::milliseconds timeout) {
  {
    std::unique_lock<std::mutex> g(fLock);
    fWake.wait_for(g, timeout, [this] { return !fQueue.empty(); });
  }
  return ProcessEvents();
}

void TQueueMainThread::RunUntil(const std::function<bool()>& pred) {
  while (!pred()) WaitAndProcess(std::chrono::milliseconds(20));
}

}  // namespace pelcrow
