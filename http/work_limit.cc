#include "http/work_limit.h"

#include <chrono>

namespace fvscope {

bool EnterWork(WorkLimit* limit, int wait_milliseconds) {
  std::unique_lock<std::mutex> lock(limit->mutex);
  if (!limit->freed.wait_for(lock, std::chrono::milliseconds(wait_milliseconds),
                             [limit] { return limit->running < limit->max_running; })) {
    return false;
  }
  ++limit->running;
  return true;
}

void LeaveWork(WorkLimit* limit) {
  {
    std::lock_guard<std::mutex> lock(limit->mutex);
    --limit->running;
  }
  limit->freed.notify_one();
}

}  // namespace fvscope
