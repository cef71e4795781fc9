#include "tools/texgen/Parallel.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace orvanth::texgen {

int DefaultThreads() {
  return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 64u));
}

void ForEachRow(int rows, int threads, const std::function<void(int)>& body) {
  if (threads <= 0) threads = DefaultThreads();
  threads = std::clamp(threads, 1, std::max(1, rows));
  std::atomic<int> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr error;
  std::mutex errorMutex;

  const auto worker = [&] {
    for (int row = next++; row < rows && !failed; row = next++) {
      try {
        body(row);
      } catch (...) {
        const std::lock_guard lock(errorMutex);
        if (!error) error = std::current_exception();
        failed = true;
      }
    }
  };
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) pool.emplace_back(worker);
  worker();
  for (auto& thread : pool) thread.join();
  if (error) std::rethrow_exception(error);
}

}  // namespace orvanth::texgen
