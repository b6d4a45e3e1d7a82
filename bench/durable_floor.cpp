// The durable floor of bench/compare: the file operations of a knitfold run
// and nothing else, in one process, so that a small merge is not measured
// against the starts of several programs. Given one file, the floor of an
// edit of it (bench/key_edit): its durable copy, step 2 below with the file's
// bytes alone, which is what an edit that saves in place must do at least.
//
//   durable_floor target.qds compat.qds
//   durable_floor file.qds
//
// In the order knitfold makes them:
// 1. the backup: the target copied by the kernel to a temporary name beside
//    it, flushed, renamed to target.qds.bak, the folder flushed;
// 2. the merged text, here the target's bytes followed by the compat file's
//    (about the size of knitfold's output), written to target.qds.tmp in
//    pieces of 128 KiB, flushed, renamed over the target, the folder flushed;
// 3. the backup deleted.
// Exits 0, or names the step that failed and exits 1.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr size_t kPiece = size_t{128} << 10;

bool Fail(const std::string& what) {
  std::fprintf(stderr, "durable_floor: %s: %s\n", what.c_str(), std::strerror(errno));
  return false;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool SyncFolder(const std::string& folder) {
  int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0 || fsync(descriptor) != 0) return Fail("flushing " + folder);
  close(descriptor);
  return true;
}

// Flushes the written file `descriptor`, closes it, renames `from` to `to`
// and flushes the folder.
bool PlaceDurably(int descriptor, const std::string& from, const std::string& to) {
  if (fsync(descriptor) != 0) return Fail("flushing " + from);
  if (close(descriptor) != 0) return Fail("closing " + from);
  if (rename(from.c_str(), to.c_str()) != 0) return Fail("renaming " + from);
  return SyncFolder(FolderOf(to));
}

int OpenForWriting(const std::string& path) {
  int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (descriptor < 0) Fail("creating " + path);
  return descriptor;
}

bool MakeBackup(const std::string& target, const std::string& backup) {
  std::string temporary = backup + ".tmp";
  int input = open(target.c_str(), O_RDONLY | O_CLOEXEC);
  if (input < 0) return Fail("opening " + target);
  int output = OpenForWriting(temporary);
  if (output < 0) return false;
  for (;;) {
    ssize_t copied = copy_file_range(input, nullptr, output, nullptr, size_t{1} << 30, 0);
    if (copied == 0) break;
    if (copied < 0) return Fail("copying " + target);
  }
  close(input);
  return PlaceDurably(output, temporary, backup);
}

bool Append(int output, const std::string& path, std::vector<char>* piece) {
  int input = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (input < 0) return Fail("opening " + path);
  for (;;) {
    ssize_t got = read(input, piece->data(), piece->size());
    if (got == 0) break;
    if (got < 0) return Fail("reading " + path);
    for (ssize_t done = 0; done < got;) {
      ssize_t wrote = write(output, piece->data() + done, static_cast<size_t>(got - done));
      if (wrote < 0) return Fail("writing");
      done += wrote;
    }
  }
  close(input);
  return true;
}

// Writes the bytes of `sources`, one after the other, over `target` through
// a temporary file.
bool WriteOver(const std::string& target, const std::vector<std::string>& sources) {
  std::string temporary = target + ".tmp";
  int output = OpenForWriting(temporary);
  if (output < 0) return false;
  std::vector<char> piece(kPiece);
  for (const std::string& source : sources) {
    if (!Append(output, source, &piece)) return false;
  }
  return PlaceDurably(output, temporary, target);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2) return WriteOver(argv[1], {argv[1]}) ? 0 : 1;
  if (argc != 3) {
    std::fprintf(stderr, "usage: durable_floor target.qds compat.qds | durable_floor file.qds\n");
    return 1;
  }
  std::string target = argv[1];
  std::string backup = target + ".bak";
  bool done = MakeBackup(target, backup) && WriteOver(target, {target, argv[2]});
  if (done && unlink(backup.c_str()) != 0) done = Fail("deleting " + backup);
  return done ? 0 : 1;
}
