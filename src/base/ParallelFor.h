// Runs fn(i) for i in [0, count) on up to `threads` threads (the calling thread is one of them).
// Work is handed out one index at a time, in order, so neighbouring files are read close in time.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace pelcrow {

inline void ParallelFor(std::size_t count, unsigned threads, const std::stop_token& stop,
                        const std::function<void(std::size_t)>& fn) {
  if (count == 0) return;
  threads = std::max(1u, std::min<unsigned>(threads, static_cast<unsigned>(std::min<std::size_t>(count, 64))));
  std::atomic<std::size_t> next{0};
  std::exception_ptr firstError;
  std::mutex errorLock;
  auto worker = [&] {
    try {
      for (;;) {
        if (stop.stop_requested()) return;
        std::size_t i = next.fetch_add(1, std::memory_order_relaxed);
        if (i >= count) return;
        fn(i);
      }
    } catch (...) {
      std::lock_guard<std::mutex> g(errorLock);
      if (!firstError) firstError = std::current_exception();
      next.store(count, std::memory_order_relaxed);
    }
  };
  {
    std::vector<std::jthread> pool;
    pool.reserve(threads - 1);
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(worker);
    worker();
  }
  if (firstError) std::rethrow_exception(firstError);
}

}  // namespace pelcrow
