// Running independent jobs on several threads.
#ifndef FVSCOPE_RENDER_THREAD_POOL_H_
#define FVSCOPE_RENDER_THREAD_POOL_H_

#include <functional>

namespace fvscope {

// Calls work(i) once for every i in 0..count-1 on up to threads threads, the
// calling thread among them, and returns when all calls have returned. The
// jobs are taken in order of i, each by the first thread that is free; when
// a thread cannot be started, the threads that did start take its share.
// work must not throw.
void RunParallel(int count, int threads, const std::function<void(int)>& work);

// The number of threads the machine runs at once, at least 1.
int MachineThreads();

}  // namespace fvscope

#endif  // FVSCOPE_RENDER_THREAD_POOL_H_
