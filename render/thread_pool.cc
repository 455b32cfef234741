#include "render/thread_pool.h"

#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

namespace fvscope {

void RunParallel(int count, int threads, const std::function<void(int)>& work) {
  std::atomic<int> next{0};
  auto drain = [&] {
    for (int i; (i = next.fetch_add(1)) < count;) work(i);
  };
  if (threads > count) threads = count;
  std::vector<std::thread> helpers;
  for (int t = 1; t < threads; ++t) {
    try {
      helpers.emplace_back(drain);
    } catch (const std::system_error&) {
      break;  // the threads that did start, and this one, take every job
    }
  }
  drain();
  for (std::thread& helper : helpers) helper.join();
}

int MachineThreads() {
  const unsigned n = std::thread::hardware_concurrency();
  return n == 0 ? 1 : static_cast<int>(n);
}

}  // namespace fvscope
