// The resident memory of documents loaded on one thread and destroyed on
// another. FILE is loaded and destroyed LOADS times on short-lived
// threads, THREADS at a time, each destroying its own; then LOADS times on
// the main thread, each destroyed on one long-lived worker while the next
// loads. Prints the resident set after the first round of each and after
// the last, and the node pool's chunks after the last.
//
//   build/bench/thread_memory FILE [LOADS [THREADS]]

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "model/document_model.h"
#include "model/node_pool.h"
#include "platform/memory.h"
#include "qdsfile/qds_loader.h"

namespace {

using Document = std::unique_ptr<qds::DocumentModel>;

Document Load(const std::u16string& path) {
  auto document = std::make_unique<qds::DocumentModel>();
  if (LoadDocument(document.get(), path.c_str(), qds::LoadFlags::KeepComments) !=
      qds::LoadStatus::Ok) {
    std::fprintf(stderr, "thread_memory: cannot load the file\n");
    std::exit(1);
  }
  return document;
}

void Report(const char* pattern, int loads) {
  std::printf("%-20s after %3d loads: resident %5zu MiB, node chunks %5zu MiB\n", pattern, loads,
              qds::platform::ResidentBytes() >> 20, qds::NodePool::ChunkBytes() >> 20);
}

void ShortLivedThreads(const std::u16string& path, int loads, int width) {
  for (int done = 0; done < loads; done += width) {
    std::vector<std::thread> threads;
    for (int i = 0; i < width; ++i) threads.emplace_back([&path] { Load(path); });
    for (std::thread& thread : threads) thread.join();
    if (done == 0 || done + width >= loads) Report("short-lived threads", done + width);
  }
}

// One document in flight: the worker destroys it while the next loads.
void ProducerConsumer(const std::u16string& path, int loads) {
  std::mutex lock;
  std::condition_variable changed;
  Document handed;
  bool over = false;
  std::thread worker([&] {
    for (;;) {
      std::unique_lock<std::mutex> held(lock);
      changed.wait(held, [&] { return handed != nullptr || over; });
      if (handed == nullptr) return;
      Document document = std::move(handed);
      held.unlock();
      changed.notify_all();
      document.reset();
    }
  });
  for (int done = 1; done <= loads; ++done) {
    Document document = Load(path);
    std::unique_lock<std::mutex> held(lock);
    changed.wait(held, [&] { return handed == nullptr; });
    handed = std::move(document);
    changed.notify_all();
    if (done == 1 || done == loads) Report("producer/consumer", done);
  }
  {
    std::lock_guard<std::mutex> held(lock);
    over = true;
  }
  changed.notify_all();
  worker.join();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: thread_memory FILE [LOADS [THREADS]]\n");
    return 2;
  }
  const std::string narrow = argv[1];
  const std::u16string path(narrow.begin(), narrow.end());
  const int loads = argc > 2 ? std::atoi(argv[2]) : 80;
  const int width = argc > 3 ? std::atoi(argv[3]) : 2;
  ShortLivedThreads(path, loads, width);
  ProducerConsumer(path, loads);
  return 0;
}
