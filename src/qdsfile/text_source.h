// TextSource: the text of one load, as UTF-16 characters the document keeps.
//
// A UTF-16 file that may be mapped is scanned where it lies in the mapping,
// and one whose layout is kept is read whole into one block of text. Any
// other file is read block by block into larger blocks of text that the
// document keeps (ANSI blocks converted on the way, a character that a block
// cuts carried to the next). The characters [0, count()) of chars() are the
// text at hand; when a block of text fills, the next begins with the text
// from a position its reader still needs, so that a token stays in one piece.
//
// Positions in the text are 32-bit: kNoPosition is none, and no text holds
// that many characters.
//
// The digest: while it runs, the stream hashes every byte read. Every block
// read while it runs is exactly one fill of the stream's buffer (the first
// block, every ANSI block, and every UTF-16 block then), so the bytes after a
// character of the block read last are those that the stream must leave out
// of the digest of the file up to that character (FinishDigest).

#ifndef KNITFOLD_QDSFILE_TEXT_SOURCE_H_
#define KNITFOLD_QDSFILE_TEXT_SOURCE_H_

#include <qds/status.h>

#include <cstdint>
#include <optional>
#include <string_view>

#include "model/document_model.h"
#include "qdsfile/buffered_stream.h"
#include "qdsfile/qds_format.h"

namespace qds {

inline constexpr uint32_t kNoPosition = UINT32_MAX;

class TextSource {
 public:
  // Reads from `stream` into the text blocks of `document`, whose encoding
  // (utf16, codePage) the caller sets from the first block before it asks for
  // characters.
  TextSource(DocumentModel& document, BufferedStream& stream)
      : document_(document), stream_(stream) {}
  TextSource(const TextSource&) = delete;
  TextSource& operator=(const TextSource&) = delete;

  // Each operation that can fail records its failure (ReadFailed,
  // DigestUnavailable), which the caller takes and clears here; Ok if none.
  LoadStatus TakeFailure();

  // ---- The digest
  // Starts hashing every byte read from here on.
  void StartDigest();
  bool DigestRunning() const { return digestRunning_; }
  // Ends the digest with the file up to the character at `index` of the block
  // read last, into `digest` (kDigestTextCapacity units).
  void FinishDigest(uint32_t index, char16_t* digest);
  // Ends a running digest whose result is not wanted.
  void DropDigest();

  // ---- The first block
  // Maps a UTF-16 file whole, when the system can and no digest runs; false
  // when it is to be read: an ANSI file is converted as it is read.
  bool Map();
  // Reads the first block of the file, unless Map took it.
  void ReadFirstBlock();
  // The file's first block of bytes, from which the caller learns the encoding.
  std::string_view FirstBytes() const { return {raw_, blockBytes_}; }
  // How many characters the file holds; null when the stream cannot tell.
  std::optional<uint64_t> FileCharacters();

  // ---- The text
  // Reads a UTF-16 file whole into one block of text, stopping a running
  // digest, and gives its bytes in `bytes`; false, reading nothing, for an
  // ANSI file or one too large for 32-bit positions.
  bool ReadWhole(std::string_view* bytes);
  // Every block of file bytes read from here on is appended to `layout`.
  void CopyBytesTo(SourceLayout* layout) { layoutBytes_ = layout; }
  // The first block of text, of the first block's bytes: it holds the whole
  // file when the file has at most `characters` (when known).
  void DecodeFirstBlock(std::optional<uint64_t> characters);
  // Whether NextBlock begins a new block of text.
  bool NeedsNewBlock() const;
  // Reads the next block of the file after the text at hand; false at the end
  // of the file, when the whole file is at hand, and after a failure. When it
  // begins a new block of text, the text from `keep` moves to its start and
  // every position from `keep` on goes down by `keep`, which Before() counts.
  bool NextBlock(uint32_t keep);
  // Reads the rest of the file, for a layout that keeps it all.
  void ReadToEnd();
  // Whether the text read is the file's: false when the file was written
  // while it loaded, or a mapping lost its file's bytes.
  bool Unchanged();

  // Some text of the document lies in the block of text at hand: it is kept
  // when a new block begins.
  void MarkBorrowed() { borrowed_ = true; }

  const char16_t* chars() const { return chars_; }
  uint32_t count() const { return count_; }
  // Where the characters of the block read last start in the text at hand.
  uint32_t blockStart() const { return blockStart_; }
  // How many characters came before the text at hand (the file's, less those
  // moved to a new block of text).
  uint64_t Before() const { return before_; }
  // Whether the text is read block by block (not mapped or read whole).
  bool ReadsBlocks() const { return room_ != nullptr; }
  // The C runtime's error number of the stream's last failure.
  int RuntimeError() { return stream_.GetError(); }

  // The most bytes of a character that the end of an ANSI block can cut off
  // (a code page's longest character has four).
  static constexpr uint32_t kCutBytes = 3;

 private:
  // The characters that one file block can add to a block of text: an ANSI
  // block also converts the bytes of the character that the block before cut.
  static constexpr uint32_t kFileBlockRoom = format::kBlockCharacters + kCutBytes;

  bool ReadBytes(void* into, uint32_t count);
  uint32_t ConvertAnsi(char16_t* into);
  bool NewTextBlock(uint32_t keep, uint32_t atLeast);
  uint32_t BytesAfter(uint32_t index) const;

  DocumentModel& document_;
  BufferedStream& stream_;
  LoadStatus failure_ = LoadStatus::Ok;
  bool digestRunning_ = false;
  SourceLayout* layoutBytes_ = nullptr;

  // The text at hand: the mapped file, the file read whole, or the block of
  // text that the file is read into (`room_`, null otherwise). The block read
  // last starts at blockStart_ and came from blockBytes_ file bytes.
  const char16_t* chars_ = nullptr;
  char16_t* room_ = nullptr;
  uint32_t capacity_ = 0;
  uint32_t count_ = 0;
  uint32_t blockStart_ = 0;
  uint32_t blockBytes_ = 0;
  bool borrowed_ = false;
  uint64_t before_ = 0;
  // The file bytes of the ANSI block at hand, after the bytes of a character
  // that the block before cut (`carried_`, at most kCutBytes, not counted in
  // blockBytes_).
  char raw_[format::kAnsiBlockBytes + kCutBytes];
  uint32_t carried_ = 0;
};

}  // namespace qds

#endif  // KNITFOLD_QDSFILE_TEXT_SOURCE_H_
