#include "knitfold/merge_with_backup.h"

#include <qds/status.h>

#include <new>
#include <string>
#include <string_view>

#include "document/file_merge.h"
#include "knitfold/file_operations.h"
#include "knitfold/log.h"
#include "knitfold/messages.h"
#include "knitfold/path_buffer.h"
#include "knitfold/path_names.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/path_syntax.h"
#include "platform/replace.h"
#include "platform/text_services.h"

namespace qds {

namespace {

constexpr std::u16string_view kQdsExtension = u"qds";
constexpr std::u16string_view kCommandExtension = u"cmd";
constexpr std::u16string_view kKeyExtension = u"key";
// Saving writes the target's name with ".tmp" appended, as long as the
// backup's name: a target whose backup name fits leaves room for it too.
constexpr std::u16string_view kBackupSuffix = u".bak";
constexpr char16_t kWorkingFolder[] = {u'T',
                                       u'e',
                                       u's',
                                       u's',
                                       u'a',
                                       u'l',
                                       u'C',
                                       u'F',
                                       u'.',
                                       u'A',
                                       u'D',
                                       u'F',
                                       platform::kPathSeparator,
                                       0};

bool HasQdsExtension(const char16_t* name) {
  const char16_t* dot = FindExtension(name);
  return *dot != 0 && platform::CompareNoCase(dot + 1, kQdsExtension.data()) == 0;
}

// Copies `name`, which has an extension, into `path` with the extension
// text replaced by `extension`.
bool ReplaceExtension(const char16_t* name, std::u16string_view extension, PathBuffer* path) {
  return path->Assign(name) && path->ReplaceFrom(FindExtension(name) + 1 - name, extension);
}

// The target's folder, the working folder, then the file-name part of
// `source`.
bool BuildWorkingCopy(const char16_t* target, const PathBuffer& source, PathBuffer* copy) {
  return copy->Assign(target) && copy->ReplaceFrom(FindFileName(target) - target, kWorkingFolder) &&
         copy->Append(FindFileName(source.c_str()));
}

void ReportCopyFailure(const char16_t* from, const char16_t* to, uint32_t error) {
  std::u16string text;
  GetSystemErrorText(error, &text);
  LogMessage(kMessageCopyFailed, from, to, text.c_str());
}

// True when the working folder of `copy` is a link (or another reparse
// point): the copies would land wherever it leads.
bool IsLinkedWorkingFolder(const PathBuffer& copy) {
  PathBuffer folder;
  size_t separator = FindFileName(copy.c_str()) - copy.c_str() - 1;
  uint32_t attributes;
  return folder.Assign(copy.view().substr(0, separator)) &&
         platform::FindEntry(folder.c_str(), &attributes) &&
         (attributes & platform::kAttributeReparsePoint) != 0;
}

// Copies a command or key file of the compat package into the working
// folder, when the file exists. A source that is its own working copy (a
// compat file inside the working folder) counts as copied, and nothing is
// deleted. False after a failure, which is reported. The copy is a new file,
// never one found at its name or reached through a link; a working folder
// that is a link is refused before anything in it is touched.
bool PlaceWorkingCopy(const PathBuffer& source, const PathBuffer& copy) {
  uint32_t attributes;
  if (!platform::QueryAttributes(source.c_str(), &attributes)) return true;
  if (platform::SameFile(source.c_str(), copy.c_str())) return true;
  if (IsLinkedWorkingFolder(copy)) {
    ReportCopyFailure(source.c_str(), copy.c_str(), platform::kErrorLinkRefused);
    return false;
  }
  if (!platform::kNewCopyReplacesItsName) DeleteExistingFile(copy.c_str(), true);
  platform::SystemResult placed = CreateDirectoryChain(copy.c_str());
  if (placed) {
    placed =
        platform::CreateCopy(source.c_str(), copy.c_str(), platform::NewCopyBits::SourceLessUmask,
                             platform::NewCopyFolder::NeverLink, nullptr);
  }
  if (!placed) ReportCopyFailure(source.c_str(), copy.c_str(), placed.SystemCode());
  return placed.Ok();
}

// The paths of one run, all built before anything is touched.
struct RunPaths {
  PathBuffer commandFile;
  PathBuffer keyFile;
  PathBuffer backup;
  PathBuffer commandCopy;
  PathBuffer keyCopy;
};

// Builds every path of the run. Reports message 110 with the offending name
// and returns false when a name lacks the "qds" extension or a path built
// from it would not fit the path buffers: first the compat name's extension,
// then the target's extension and the paths built from the target alone,
// then the paths built from the compat name.
bool BuildRunPaths(const char16_t* target, const char16_t* compat, RunPaths* paths) {
  if (!HasQdsExtension(compat)) {
    LogMessage(kMessageInvalidName, compat);
    return false;
  }
  if (!HasQdsExtension(target) || !paths->backup.Assign(target) ||
      !paths->backup.Append(kBackupSuffix)) {
    LogMessage(kMessageInvalidName, target);
    return false;
  }
  if (!ReplaceExtension(compat, kCommandExtension, &paths->commandFile) ||
      !ReplaceExtension(compat, kKeyExtension, &paths->keyFile) ||
      !BuildWorkingCopy(target, paths->commandFile, &paths->commandCopy) ||
      !BuildWorkingCopy(target, paths->keyFile, &paths->keyCopy)) {
    LogMessage(kMessageInvalidName, compat);
    return false;
  }
  return true;
}

// Makes the backup: a new file with the target's permission bits, whatever
// stood at its name. Memory running out while it is made fails the copy.
platform::SystemResult MakeBackup(const char16_t* target, const PathBuffer& backup,
                                  platform::CreatedFile* created) {
  try {
    return platform::CreateCopy(target, backup.c_str(), platform::NewCopyBits::Source,
                                platform::NewCopyFolder::MayBeLink, created);
  } catch (const std::bad_alloc&) {
    return platform::SystemFailure(platform::kErrorOutOfMemory);
  }
}

// Merges, and puts the merged text in the target's place. Returns 1 on
// success and 0 after a failure, reported; sets *targetTouched when the
// failure may have changed the target.
int MergeIntoTarget(FileMerge* merge, const char16_t* target, bool* targetTouched) {
  FileMergeStatus written = merge->Write();
  if (written.load != LoadStatus::Ok) {
    LogMessage(kMessageLoadFailed, static_cast<int32_t>(written.load), written.file);
    return 0;
  }
  SaveStatus saved = written.save == SaveStatus::Ok ? merge->Commit() : written.save;
  if (saved != SaveStatus::Ok) {
    *targetTouched = saved == SaveStatus::CopyBackFailed;
    LogMessage(kMessageSaveFailed, static_cast<int32_t>(saved), target);
    return 0;
  }
  return 1;
}

}  // namespace

int MergeWithBackup(const char16_t* target, const char16_t* compat) {
  RunPaths paths;
  if (!BuildRunPaths(target, compat, &paths)) return 0;
  if (!PlaceWorkingCopy(paths.commandFile, paths.commandCopy) ||
      !PlaceWorkingCopy(paths.keyFile, paths.keyCopy)) {
    return 0;
  }
  platform::CreatedFile backup;
  bool targetTouched = false;
  int merged = 0;
  try {
    // The files load, and the merged text is written where it can be, while
    // the backup is made; a failed backup drops all that unseen.
    FileMerge merge(target, compat);
    if (platform::SystemResult made = MakeBackup(target, paths.backup, &backup); !made) {
      merge.Discard();
      ReportCopyFailure(target, paths.backup.c_str(), made.SystemCode());
      return 0;
    }
    merged = MergeIntoTarget(&merge, target, &targetTouched);
  } catch (const std::bad_alloc&) {
    // The steps tell their own lack of memory; this is one outside them (the
    // threads' start, a message), after which the run still undoes its work.
  }
  // A target that the run never changed keeps all it is (its file, links,
  // bits, owner): only the backup goes. One that the commit may have
  // changed gets the backup back through the service that the commit uses,
  // which keeps what a successful commit keeps; killed meanwhile, the
  // original is in the target or in the backup.
  if (merged == 1 || !targetTouched) {
    static_cast<void>(platform::RemoveCreatedFile(paths.backup.c_str(), backup));
  } else {
    static_cast<void>(platform::MoveFileOver(paths.backup.c_str(), target, &backup));
  }
  return merged;
}

}  // namespace qds
