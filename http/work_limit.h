// A bound on how many heavy answers are worked on at once: a request waits a
// little for its turn, then is told to come back.
#ifndef FVSCOPE_HTTP_WORK_LIMIT_H_
#define FVSCOPE_HTTP_WORK_LIMIT_H_

#include <condition_variable>
#include <mutex>

namespace fvscope {

// The limit: at most max_running at once, the others waiting.
struct WorkLimit {
  int max_running = 1;
  int running = 0;
  std::mutex mutex;
  std::condition_variable freed;
};

// Takes a turn of limit, waiting at most wait_milliseconds for one. Returns
// false when no turn came: nothing was taken.
bool EnterWork(WorkLimit* limit, int wait_milliseconds);

// Gives back a turn taken by EnterWork.
void LeaveWork(WorkLimit* limit);

// A turn of a limit for as long as it lives; taken() says whether it came.
class WorkTurn {
 public:
  WorkTurn(WorkLimit* limit, int wait_milliseconds)
      : limit_(EnterWork(limit, wait_milliseconds) ? limit : nullptr) {}
  ~WorkTurn() {
    if (limit_ != nullptr) LeaveWork(limit_);
  }
  WorkTurn(const WorkTurn&) = delete;
  WorkTurn& operator=(const WorkTurn&) = delete;
  bool taken() const { return limit_ != nullptr; }

 private:
  WorkLimit* limit_;
};

}  // namespace fvscope

#endif  // FVSCOPE_HTTP_WORK_LIMIT_H_
