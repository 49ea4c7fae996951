// A few threads that run jobs handed to them, for decoding the independent entries of an
// archive at the same time: ZIP entries, LHA members and the files of a non-solid RAR archive
// do not depend on each other, and a machine has more than one core.
#ifndef DIZOR_LIBS_ENGINE_WORKER_POOL_H_
#define DIZOR_LIBS_ENGINE_WORKER_POOL_H_

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

namespace engine {

// The cores this process may run on (its affinity, which `taskset` narrows), at least 1.
size_t UsableCores();

class WorkerPool {
 public:
  explicit WorkerPool(size_t threads);
  // Waits for the jobs already handed over, then joins the threads.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Runs `job` on one of the threads, in the order jobs were handed over; the future is ready
  // when it has run. A job must not throw.
  std::future<void> Submit(std::packaged_task<void()> job);

  size_t size() const { return threads_.size(); }

 private:
  void Work();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::packaged_task<void()>> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace engine

#endif  // DIZOR_LIBS_ENGINE_WORKER_POOL_H_
