// The facts of the QDS file format that the loader and the saver share, kept
// in one place so that the reader and the writer cannot drift apart.
//
// A written file is UTF-16 little-endian text opened by the byte-order mark;
// lines end in "\r\n". The version section comes first, the optional end
// marker last, followed (with a digest) by the check line of 32 uppercase
// hexadecimal digits.

#ifndef KNITFOLD_QDSFILE_QDS_FORMAT_H_
#define KNITFOLD_QDSFILE_QDS_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qds::format {

// ---- Encoding ---------------------------------------------------------------

inline constexpr char16_t kByteOrderMark = u'\xFEFF';  // the bytes FF FE
inline constexpr uint8_t kByteOrderMarkBytes[2] = {0xFF, 0xFE};
// The code page that the version line names for UTF-16 text.
inline constexpr int32_t kUtf16CodePage = 1200;

// ---- Lines --------------------------------------------------------------------

inline constexpr char16_t kLineEnd[] = u"\r\n";
// A value that starts with LF is a bare key: written as the key alone.
inline constexpr char16_t kBareKeyValue = u'\n';
inline constexpr char16_t kSectionOpen = u'[';
inline constexpr char16_t kSectionClose = u']';
inline constexpr char16_t kKeyValueSeparator = u'=';
inline constexpr char16_t kCommentMark = u';';
// Skipped by the line grammar wherever it does not fall inside a token.
inline constexpr char16_t kIgnoredUnit = u'\x1A';
// A key that begins with "[" comes only from a line that has white space
// before it: at the start of a line, it would begin a header. A writer puts
// this before such a key where nothing else stands before it.
inline constexpr char16_t kKeyIndent[] = u" ";
constexpr bool NeedsIndent(std::u16string_view key) { return key.starts_with(kSectionOpen); }

// ---- Version section --------------------------------------------------------------

// A section whose name starts with these 8 characters (any letter case) is
// the version section.
inline constexpr char16_t kVersionPrefix[] = u"$version";
inline constexpr size_t kVersionPrefixLength = 8;
// The text after "[" that carries the version number (9 characters, any
// letter case, the space included).
inline constexpr char16_t kVersionTag[] = u"$version ";
inline constexpr char kVersionTagAnsi[] = "$version ";
inline constexpr size_t kVersionTagLength = 9;
// What must follow version 3 in an ANSI file (11 characters, any letter case).
inline constexpr char kCodePageTagAnsi[] = ", codepage ";
inline constexpr size_t kCodePageTagLength = 11;
// Versions 1 to 3 are known; others load as kUnknownVersion. A file without a
// version section is kDefaultVersion; a new document is kNewDocumentVersion.
inline constexpr int32_t kUnknownVersion = -1;
inline constexpr int32_t kDefaultVersion = 1;
inline constexpr int32_t kLowestVersion = 1;
inline constexpr int32_t kHighestVersion = 3;
// From this version on, the version line names the code page.
inline constexpr int32_t kCodePageVersion = 3;
// The version line formats (FormatWide) and the buffer they are
// formatted into.
inline constexpr char16_t kVersionLineFormat[] = u"[$version %d$]\r\n";
inline constexpr char16_t kVersionLineWithCodePageFormat[] = u"[$version %d, codepage %d$]\r\n";
inline constexpr size_t kVersionLineCapacity = 128;

// ---- End marker and check line ---------------------------------------------------

inline constexpr char16_t kEndMarkerName[] = u"$end$";
inline constexpr char16_t kEndMarker[] = u"[$end$]";
// What the writer puts before the marker, after the last text.
inline constexpr char16_t kEndMarkerLine[] = u"\r\n[$end$]";
// The digest: 32 uppercase hexadecimal digits, two per byte of the MD5.
inline constexpr size_t kDigestLength = 32;
// The check line after the marker's "]": "\r\n", the digits, "\r\n".
inline constexpr char16_t kCheckLineFormat[] = u"\r\n%s\r\n";
inline constexpr size_t kCheckLineLength = kDigestLength + 4;  // 36 characters

// The salt block that every digest starts with: MD5("qds-salt-0") through
// MD5("qds-salt-3"), the 16 raw digest bytes of each, in order. Changing it
// invalidates the check line of every file written before.
inline constexpr size_t kDigestSaltSize = 64;
inline constexpr uint8_t kDigestSalt[kDigestSaltSize] = {
    0x49, 0xA9, 0xAA, 0x22, 0x39, 0x36, 0xF1, 0x5B, 0xC4, 0xA4, 0x67, 0x08, 0xE0, 0x97, 0x9A, 0xFB,
    0x22, 0xBD, 0x95, 0x0D, 0xB4, 0x25, 0x9C, 0x56, 0x67, 0x4B, 0xD3, 0xA6, 0x6F, 0x2E, 0xD7, 0xB7,
    0x7C, 0xD7, 0x01, 0x26, 0xB3, 0x80, 0x80, 0x40, 0x7A, 0x10, 0xFD, 0x09, 0x1B, 0x23, 0x5F, 0x71,
    0xC3, 0x0F, 0x7D, 0x5D, 0x90, 0xA9, 0x7C, 0xD4, 0x91, 0x4E, 0x82, 0xE8, 0x41, 0xD0, 0x7D, 0x56,
};

// ---- Blocks and buffers ----------------------------------------------------------

// The stream buffer of loading and saving.
inline constexpr uint32_t kStreamBufferSize = 4096;
// Saving fills a larger one in place, which goes to the file as one piece.
inline constexpr uint32_t kSaveBufferSize = 128 * 1024;
// The loader reads the first block, and every ANSI block, in 4096 bytes;
// later UTF-16 blocks in 8192 bytes (4096 characters).
inline constexpr uint32_t kFirstBlockBytes = 4096;
inline constexpr uint32_t kAnsiBlockBytes = 4096;
inline constexpr uint32_t kUtf16BlockBytes = 8192;
// While it checks the digest, the loader reads UTF-16 in blocks of one stream
// buffer, so that every block is exactly one fill of the stream.
inline constexpr uint32_t kDigestUtf16BlockBytes = kStreamBufferSize;
inline constexpr uint32_t kBlockCharacters = 4096;
// The longest line a load takes, in UTF-16 units (its line end not
// counted): a line lies whole in one block of text, whose positions are
// 32-bit, beside the comment lines before it.
inline constexpr uint32_t kMaxLineUnits = 2147483647;

// ---- Files ------------------------------------------------------------------------

// Saving over the document's own file writes this file first.
inline constexpr char16_t kTemporarySuffix[] = u".tmp";
// The lock file of a file that is being changed (qdsfile/file_lock.h).
inline constexpr char16_t kLockSuffix[] = u".lock";

}  // namespace qds::format

#endif  // KNITFOLD_QDSFILE_QDS_FORMAT_H_
