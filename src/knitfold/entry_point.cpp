#include "knitfold/entry_point.h"

#include <new>

#include "common/text.h"
#include "document/file_merge.h"
#include "knitfold/log.h"
#include "knitfold/merge_with_backup.h"
#include "knitfold/messages.h"
#include "platform/console.h"
#include "platform/errors.h"
#include "platform/exclusive_log.h"

namespace qds {

namespace {

constexpr size_t kPathCapacity = 260;
constexpr char16_t kLogExtension[] = u".log";

// Messages 102 and 111 have no log to go to; a person sees them on the
// standard error stream instead.
template <typename... Args>
void ReportWithoutLog(uint32_t id, Args... args) {
  platform::WriteStandardError(FormatMessageText(id, {FormatArg(args)...}));
}

// "--help" and "--version", alone, print to standard output, where a
// person who asks reads them.
bool AnswerQuestion(const char16_t* argument) {
  std::u16string_view asked(argument);
  std::u16string text;
  if (asked == u"--version") {
    text = u"knitfold " KNITFOLD_VERSION_UTF16 u"\n";
  } else if (asked == u"--help") {
    text = FormatMessageText(kMessageUsage, {}) +
           u"Merges every entry of compatqdsfile into qdsfile and saves qdsfile in place,\n"
           u"keeping its comments. Reports only through qdsfile.log; exits 0 on success,\n"
           u"255 on failure. See knitfold(1).\n";
  } else {
    return false;
  }
  platform::WriteStandardStream(platform::StandardStream::Output, text);
  return true;
}

int RunWithLog(int argc, const char16_t* const* argv) {
  if (argc == 2 && AnswerQuestion(argv[1])) return 0;
  if (argc < 3) {
    ReportWithoutLog(kMessageUsage);
    return -1;
  }
  const char16_t* target = argv[1];
  const char16_t* compat = argv[2];
  size_t targetLength = TextLength(target);
  constexpr size_t kExtensionLength = sizeof(kLogExtension) / sizeof(char16_t) - 1;
  if (targetLength + kExtensionLength >= kPathCapacity) {
    std::u16string logName = std::u16string(target) + kLogExtension;
    ReportWithoutLog(kMessageLogFailed, platform::kErrorNameTooLong, logName.c_str());
    return -1;
  }
  char16_t logName[kPathCapacity];
  std::char_traits<char16_t>::copy(logName, target, targetLength);
  std::char_traits<char16_t>::copy(logName + targetLength, kLogExtension, kExtensionLength + 1);

  platform::SystemResult opened = platform::CreateExclusiveLog(logName, &g_logHandle);
  if (!opened) {
    ReportWithoutLog(kMessageLogFailed, opened.SystemCode(), logName);
    return -1;
  }
  // The log keeps two runs apart; the target's lock keeps this run apart
  // from every other writer of the target (qdstool, programs on the
  // library), from before the target is read until the merge is in place.
  TargetLock targetLock;
  if (int refused = targetLock.Acquire(target); refused != 0) {
    LogMessage(kMessageLoadFailed, refused, target);
    return -1;
  }
  return MergeWithBackup(target, compat) == 0 ? -1 : 0;
}

}  // namespace

int RunKnitfold(int argc, const char16_t* const* argv) {
  // What runs out of memory before the merge has nothing to undo; the merge
  // undoes its own work (MergeWithBackup).
  try {
    return RunWithLog(argc, argv);
  } catch (const std::bad_alloc&) {
    return -1;
  }
}

}  // namespace qds
