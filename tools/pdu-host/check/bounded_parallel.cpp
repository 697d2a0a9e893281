#include "check/bounded_parallel.h"

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace pdu_host {

void ForEachAtOnce(std::size_t count, std::size_t at_once,
                   const std::function<void(std::size_t)>& task) {
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr first_error;
  std::mutex error_mutex;
  const auto work = [&] {
    for (std::size_t i = next++; i < count && !failed; i = next++) {
      try {
        task(i);
      } catch (...) {
        std::lock_guard<std::mutex> lock(error_mutex);
        if (!first_error) first_error = std::current_exception();
        failed = true;
      }
    }
  };
  std::vector<std::thread> threads;
  try {
    for (std::size_t t = 0; t < std::min(count, std::max<std::size_t>(at_once, 1)); ++t) {
      threads.emplace_back(work);
    }
  } catch (...) {
    failed = true;  // no more threads: the started ones finish their task and stop
    for (std::thread& thread : threads) thread.join();
    throw;
  }
  for (std::thread& thread : threads) thread.join();
  if (first_error) std::rethrow_exception(first_error);
}

}  // namespace pdu_host
