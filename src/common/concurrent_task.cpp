#include "common/concurrent_task.h"

#include <system_error>
#include <utility>

namespace qds {

ConcurrentTask::ConcurrentTask(std::function<void()> work) : work_(std::move(work)) {
  try {
    thread_ = std::thread(work_);  // the thread runs a copy
    work_ = nullptr;
  } catch (const std::system_error&) {
    // No thread for it (a limit of the system is reached): Wait() runs it.
  }
}

void ConcurrentTask::Wait() {
  if (thread_.joinable()) thread_.join();
  if (work_) std::exchange(work_, nullptr)();
}

}  // namespace qds
