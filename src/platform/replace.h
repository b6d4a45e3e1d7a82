// Putting files in place, at two kinds of name:
//
// - a name the user gave (the target of a merge, an output): the copy and
//   move services follow its links and keep what makes it the user's file,
//   its permission bits, its owner and its other names;
// - a name the program picks for itself beside it (the backup, the working
//   copies, the temporary file of a save): the file there is always a new
//   one that this process creates. Whatever stood at the name is replaced
//   or refused, never followed, written into or reused, so that another
//   account that prepared the name in advance gains nothing by it.
//
// On POSIX every copy is written under a hidden name beside its destination
// (".NAME.XXXXXXXXXXXXXXXX.tmp", sixteen random hexadecimal digits), created
// exclusively and readable by its owner alone, flushed to disk, given its
// final permission bits and renamed onto its name; then the folder is
// flushed. A crash leaves the destination whole and old or whole and new,
// and possibly the hidden file. Every service returns a failure with its
// code.

#ifndef KNITFOLD_PLATFORM_REPLACE_H_
#define KNITFOLD_PLATFORM_REPLACE_H_

#include <cstdint>

#include "platform/errors.h"

namespace qds::platform {

// A file that this process created at a name it picked (CreateCopy,
// CreateNewFile), told from every other file while it exists: on POSIX by
// its device and inode, on Windows by its volume's serial number and its
// file index. Refusals name the system codes kErrorNotOwnFile and
// kErrorLinkRefused (errors.h).
struct CreatedFile {
  uint64_t volume = 0;
  uint64_t file = 0;
  friend bool operator==(const CreatedFile&, const CreatedFile&) = default;
};

// ---- Names the user gave ------------------------------------------------------

// Copies the bytes of `from` to `to`; an existing `to` is replaced unless
// `failIfExists`, which then fails with kErrorFileExists. An existing `to`
// that may not be written (or is a folder) is refused, as overwriting it
// would be. On POSIX the replacement is atomic and durable (see above). A
// replaced `to` keeps its permission bits, and its owner where the process
// may set it; a new one takes the bits of `from` less the umask. A `to` that
// is a symbolic link is followed: the link stays and the file it leads to is
// replaced. A `to` with more than one hard link, or one that is not a
// regular file, is overwritten in place instead, so that every name keeps
// seeing one file, and so is a `to` whose folder may not be written; that
// overwrite is not atomic. A failure after the rename (flushing the folder)
// is reported although `to` holds the copy.
SystemResult CopyFileTo(const char16_t* from, const char16_t* to, bool failIfExists);

// Puts the file `from` in the place of `to` and removes `from`: the result
// of CopyFileTo(from, to, false) followed by removing `from`, which is what
// it does wherever it cannot do better, except that a `to` that does not
// exist yet is made as any new file is (read and write permission less the
// umask), whatever the bits of `from`, which is a private file of this
// process. `from` is a file that this process created: a link at that name
// is refused, and with `created` so is any file but that one
// (kErrorNotOwnFile), before anything is done and again before `from` is
// removed. On POSIX, when `from` and the file that `to` leads to are regular
// files of one name each on one file system, `from` itself takes `to`'s
// permission bits (set-id and sticky bits included) and owner, is flushed
// and renamed over it, and the folders are flushed: no byte is copied. A
// failure after the rename (flushing the folders) is reported although `to`
// holds the file and `from` is gone.
SystemResult MoveFileOver(const char16_t* from, const char16_t* to, const CreatedFile* created);

// ---- Names the program picks ----------------------------------------------------

// The permission bits that a new copy takes with its name: those of the
// file it copies, or those less the process's umask (as a file created with
// them would have). Set-id and sticky bits are never given.
enum class NewCopyBits { Source, SourceLessUmask };
// Whether the folder of the new name may be reached through a link: the
// target's own folder is the user's choice, the working folder is not.
enum class NewCopyFolder { MayBeLink, NeverLink };

// Copies `from` to the new file `to`, which replaces whatever stood at that
// name without following it or writing into it; a folder there is never
// replaced and fails the copy. Only a regular file is copied, and the copy
// never waits for its source: a FIFO or device at `from` (a link to one
// followed) fails with kErrorNotRegularFile, a folder with EISDIR on POSIX. Nothing is ever
// retried: a name taken in between is a failure. On POSIX the copy is made as described above,
// through a descriptor of the folder, which with NeverLink is refused
// (kErrorLinkRefused) when it is a link. On Windows a link or other reparse
// point at `to`, or a file there with more than one link, is refused
// (kErrorLinkRefused, ERROR_TOO_MANY_LINKS), the file there is deleted, and
// `from` is copied to the name as a new file (CopyFileW, failing if the
// name was taken again); with NeverLink a folder that is a reparse point (a
// junction) is refused. `made`, when given, receives the new file.
SystemResult CreateCopy(const char16_t* from, const char16_t* to, NewCopyBits bits,
                        NewCopyFolder folder, CreatedFile* made);

// Creates `path` as a new, empty file of this process, open for writing
// through the descriptor services of descriptors.h, and fills `made` with
// it. What stood at the name is removed first (a folder is refused with the
// error number EISDIR on POSIX, EACCES on Windows), and the file is then
// created exclusively, never through a link, readable and writable by its
// owner alone on POSIX; on Windows a link, reparse point or file of several
// links found at the name is refused. *descriptor receives the open file. A
// failure carries the runtime error number (EEXIST when the name was taken
// in between).
SystemResult CreateNewFile(const char16_t* path, CreatedFile* made, int* descriptor);

// Removes the file at `path` when the name still shows the file `created`;
// otherwise leaves the name alone and fails with kErrorNotOwnFile.
SystemResult RemoveCreatedFile(const char16_t* path, const CreatedFile& created);

// True where a new copy takes its name in one step whatever file stands
// there (a rename on POSIX), so that an older file need not be deleted
// first. On Windows a read-only, hidden or system file at the name makes
// CreateCopy fail: it must have those attributes cleared and be deleted
// before.
#ifdef _WIN32
inline constexpr bool kNewCopyReplacesItsName = false;
#else
inline constexpr bool kNewCopyReplacesItsName = true;
#endif

}  // namespace qds::platform

#endif  // KNITFOLD_PLATFORM_REPLACE_H_
