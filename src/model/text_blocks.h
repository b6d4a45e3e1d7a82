// TextBlocks: the memory that a document's borrowed texts lie in (see
// TextSlice): the blocks that its loads read or converted the file into, or
// the file itself, mapped. A document keeps them for its whole life, so that
// its names, values and comments can stay where loading put them; a merge
// that borrows the texts of another document takes its blocks over.

#ifndef KNITFOLD_MODEL_TEXT_BLOCKS_H_
#define KNITFOLD_MODEL_TEXT_BLOCKS_H_

#include <cstddef>
#include <vector>

namespace qds {

class TextBlocks {
 public:
  TextBlocks() = default;
  TextBlocks(const TextBlocks&) = delete;
  TextBlocks& operator=(const TextBlocks&) = delete;
  ~TextBlocks();

  // Room for `units` UTF-16 units of loaded text: a new block, kept from
  // now on.
  char16_t* Reserve(size_t units);
  // Room for `units` UTF-16 units of loaded text, of which the first `kept`
  // are copied from `text`, the text still to come of a block that the load
  // is done with; that block, at `spent` (of Reserve; null: none), is given
  // back once the copy is made, and no text may refer to it. If memory runs
  // out, the old block is still kept: texts may lie in it.
  char16_t* Renew(const char16_t* spent, const char16_t* text, size_t kept, size_t units);
  // Keeps the file mapping of `bytes` bytes (platform::MapFile), which loaded
  // texts lie in, and unmaps it at the end, or at once if it cannot be kept
  // (and rethrows).
  void AdoptMapping(const void* mapping, size_t bytes);
  // Takes over every block and mapping of `other`, which is left with none.
  void TakeOver(TextBlocks* other);
  // The first file mapping kept, or null: a load maps at most its one file.
  const void* FirstMapping() const;
  // The first file mapping kept whose file has lost bytes since it was
  // mapped (platform::MappingCut), or null: texts borrowed from it read as
  // zeros where the file was cut, so they are not the file's.
  const void* CutMapping() const;

 private:
  struct Block {
    const void* base;
    size_t bytes;
    bool mapped;
  };
  static void Free(const Block& block);
  // Lets go of the block at `base` (of Reserve), which no text may refer to.
  void Drop(const char16_t* base);

  std::vector<Block> blocks_;
};

}  // namespace qds

#endif  // KNITFOLD_MODEL_TEXT_BLOCKS_H_
