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

  // A new block of room for `units` UTF-16 units, kept from now on.
  char16_t* AddBlock(size_t units);
  // Lets go of the block at `base` (of AddBlock), which no text may refer to.
  void DropBlock(const char16_t* base);
  // Keeps the file mapping of `bytes` bytes (platform::MapFile) and unmaps
  // it at the end, or at once if it cannot be kept (and rethrows).
  void AddMapping(const void* mapping, size_t bytes);
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

  std::vector<Block> blocks_;
};

}  // namespace qds

#endif  // KNITFOLD_MODEL_TEXT_BLOCKS_H_
