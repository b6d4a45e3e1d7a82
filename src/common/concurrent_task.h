// ConcurrentTask: a piece of work that runs on a thread of its own while its
// creator goes on with other work, until Wait().
//
// Where no thread can be started, or the creator asks for none (work too
// short to be worth a thread's start), the work runs on the caller's thread
// at Wait() instead: the result is the same, only later. An exception that
// leaves the work (std::bad_alloc, the only one the library lets out) is
// carried to the waiting thread and thrown again by Wait(), as if the work
// had run there; the destructor, which only waits, drops it.

#ifndef KNITFOLD_COMMON_CONCURRENT_TASK_H_
#define KNITFOLD_COMMON_CONCURRENT_TASK_H_

#include <exception>
#include <functional>
#include <thread>

namespace qds {

class ConcurrentTask {
 public:
  enum class Start { OnThread, AtWait };

  explicit ConcurrentTask(std::function<void()> work, Start start = Start::OnThread);
  ConcurrentTask(const ConcurrentTask&) = delete;
  ConcurrentTask& operator=(const ConcurrentTask&) = delete;
  ~ConcurrentTask();

  // Returns once the work is done, or throws what left it; later calls
  // return at once.
  void Wait();

 private:
  // Waits for the thread and runs work that no thread took.
  void Finish();

  std::function<void()> work_;  // kept until Wait() when no thread started
  std::thread thread_;
  std::exception_ptr failure_;  // what left the work on the thread
};

}  // namespace qds

#endif  // KNITFOLD_COMMON_CONCURRENT_TASK_H_
