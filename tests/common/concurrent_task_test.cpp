#include "common/concurrent_task.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

namespace qds {
namespace {

// The work runs on a thread of its own while the caller goes on (it waits
// for a sign given after it started), once whatever the waits; Wait() and
// the destructor both wait for it.
TEST(ConcurrentTaskTest, RunsOnceBesideTheCallerAndIsDoneAtWait) {
  std::promise<void> callerWentOn;
  std::thread::id ranOn;
  std::atomic<int> runs{0};
  {
    ConcurrentTask task([&] {
      callerWentOn.get_future().wait();
      ranOn = std::this_thread::get_id();
      ++runs;
    });
    callerWentOn.set_value();
    task.Wait();
    task.Wait();
    EXPECT_EQ(runs, 1);
    EXPECT_NE(ranOn, std::this_thread::get_id());
    ConcurrentTask left([&] { ++runs; });
  }
  EXPECT_EQ(runs, 2);
}

}  // namespace
}  // namespace qds
