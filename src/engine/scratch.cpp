// The scratch arena: a bump allocator over one reserved block of limbs, so
// that the long operations need no allocation after start-up.
#include "scratch.h"

#include <sys/mman.h>

namespace {

uint32_t *block = nullptr;
size_t block_limbs = 0;
size_t top = 0;
size_t peak = 0;

}  // namespace

int scratch_reserve(size_t limbs) {
    if (limbs <= block_limbs) {
        top = 0;
        return 0;
    }
    // Untouched pages of a reservation cost nothing, so a large preset can
    // reserve generously and still start small.
    void *p = mmap(nullptr, limbs * sizeof(uint32_t), PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) return -1;
    if (block) munmap(block, block_limbs * sizeof(uint32_t));
    block = static_cast<uint32_t *>(p);
    block_limbs = limbs;
    top = 0;
    return 0;
}

size_t scratch_room() { return block_limbs - top; }

size_t scratch_mark() { return top; }

void scratch_release(size_t mark) {
    if (mark <= top) top = mark;
}

uint32_t *scratch_take(size_t limbs) {
    // Keep every piece on a 64-byte boundary: the transforms stream through them.
    size_t rounded = (limbs + 15) & ~size_t(15);
    if (rounded > block_limbs - top) return nullptr;
    uint32_t *p = block + top;
    top += rounded;
    if (top > peak) peak = top;
    return p;
}

size_t scratch_peak() { return peak; }
