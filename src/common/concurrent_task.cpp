#include "common/concurrent_task.h"

#include <system_error>
#include <utility>

namespace qds {

ConcurrentTask::ConcurrentTask(std::function<void()> work, Start start) : work_(std::move(work)) {
  if (start == Start::AtWait) return;
  try {
    // The thread runs the work, which then no longer needs work_.
    thread_ = std::thread([this, run = work_] {
      try {
        run();
      } catch (...) {
        failure_ = std::current_exception();
      }
    });
    work_ = nullptr;
  } catch (const std::system_error&) {
    // No thread for it (a limit of the system is reached): Wait() runs it.
  }
}

ConcurrentTask::~ConcurrentTask() {
  try {
    Finish();
  } catch (...) {
    // Work run here at the end: its failure has no one to go to.
  }
}

void ConcurrentTask::Finish() {
  if (thread_.joinable()) thread_.join();
  if (work_) std::exchange(work_, nullptr)();
}

void ConcurrentTask::Wait() {
  Finish();
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

}  // namespace qds
