// The buffers of a document's texts: blocks of any size, the small ones
// from a pool (common/block_pool.h) whose chunks come from operator new and
// stay for the life of the process. Running out of memory throws
// std::bad_alloc, as operator new does. A document's nodes have a pool of
// their own (model/node_pool.h).

#ifndef KNITFOLD_MODEL_POOLED_BLOCKS_H_
#define KNITFOLD_MODEL_POOLED_BLOCKS_H_

#include <cstddef>

namespace qds {

// A block of `bytes` bytes, aligned to 8; `bytes` must be given again to
// FreeBlock.
void* AllocateBlock(size_t bytes);
void FreeBlock(void* block, size_t bytes);

}  // namespace qds

#endif  // KNITFOLD_MODEL_POOLED_BLOCKS_H_
