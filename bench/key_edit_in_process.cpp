// The edit of bench/key_edit made through the library in one process, as
// qdstool's set makes it once it keeps the file's layout: the file loaded
// for a change (its lock taken) keeping comments and layout, one key set,
// the document saved over the file keeping them. Timed here, so that
// bench/key_edit can tell the library's work from the start of a program.
//
//   key_edit_in_process FILE SECTION KEY VALUE
//
// Prints "load S set S save S" (seconds) and exits 0, or says what failed
// and exits 1.

#include <qds/qds.h>

#include <chrono>
#include <cstdio>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point* start) {
  Clock::time_point now = Clock::now();
  double seconds = std::chrono::duration<double>(now - *start).count();
  *start = now;
  return seconds;
}

int Fail(const char* file, const qds::Status& status) {
  std::fprintf(stderr, "key_edit_in_process: %s\n", status.Describe(file).c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: key_edit_in_process FILE SECTION KEY VALUE\n");
    return 1;
  }
  const char* file = argv[1];
  qds::QdsDocument document;
  Clock::time_point start = Clock::now();
  qds::Status status =
      document.LoadForChange(file, qds::LoadFlags::KeepComments | qds::LoadFlags::KeepLayout);
  if (!status.Ok()) return Fail(file, status);
  double load = SecondsSince(&start);
  status = document.Set(argv[2], argv[3], argv[4]);
  if (!status.Ok()) return Fail(file, status);
  double set = SecondsSince(&start);
  status = document.Save(qds::SaveFlags::KeepComments | qds::SaveFlags::KeepLayout);
  if (!status.Ok()) return Fail(file, status);
  std::printf("load %.6f set %.6f save %.6f\n", load, set, SecondsSince(&start));
  return 0;
}
