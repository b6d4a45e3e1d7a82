#include "common/concurrent_task.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

namespace qds {
namespace {

// The work runs on a thread of its own while the caller goes on: here it
// waits for a sign that the caller gives after starting it, and the caller
// sees its result once Wait() returns.
TEST(ConcurrentTaskTest, RunsBesideTheCallerAndIsDoneAtWait) {
  std::promise<void> callerWentOn;
  std::thread::id ranOn;
  int result = 0;
  ConcurrentTask task([&] {
    callerWentOn.get_future().wait();
    ranOn = std::this_thread::get_id();
    result = 42;
  });
  callerWentOn.set_value();
  task.Wait();
  EXPECT_EQ(result, 42);
  EXPECT_NE(ranOn, std::this_thread::get_id());
}

TEST(ConcurrentTaskTest, RunsOnceWhateverTheWaits) {
  std::atomic<int> runs{0};
  {
    ConcurrentTask waited([&] { ++runs; });
    waited.Wait();
    waited.Wait();
    ConcurrentTask left([&] { ++runs; });
  }  // the destructor waits for `left`
  EXPECT_EQ(runs, 2);
}

}  // namespace
}  // namespace qds
