// ConcurrentTask: a piece of work that runs on a thread of its own while its
// creator goes on with other work, until Wait().
//
// Where no thread can be started, the work runs on the caller's thread at
// Wait() instead: the result is the same, only later. The work must not
// throw; an exception that leaves it ends the program, as one that leaves
// main() does.

#ifndef KNITFOLD_COMMON_CONCURRENT_TASK_H_
#define KNITFOLD_COMMON_CONCURRENT_TASK_H_

#include <functional>
#include <thread>

namespace qds {

class ConcurrentTask {
 public:
  explicit ConcurrentTask(std::function<void()> work);
  ConcurrentTask(const ConcurrentTask&) = delete;
  ConcurrentTask& operator=(const ConcurrentTask&) = delete;
  ~ConcurrentTask() { Wait(); }

  // Returns once the work is done; later calls return at once.
  void Wait();

 private:
  std::function<void()> work_;  // kept until Wait() when no thread started
  std::thread thread_;
};

}  // namespace qds

#endif  // KNITFOLD_COMMON_CONCURRENT_TASK_H_
