// Scratch arena of the number core: one block of limbs reserved when the pool
// is carved (sized by the precision, committed by the system only as pages
// are touched), taken and given back in stack order by the long operations.
#pragma once
#include <cstddef>
#include <cstdint>

// Reserves room for `limbs` 32-bit limbs, replacing a smaller block (the
// contents are lost). Returns 0, or -1 when the address space cannot be had
// (the previous block, if any, stays).
[[nodiscard]] int scratch_reserve(size_t limbs);

// Limbs still free above the current mark.
size_t scratch_room();

// The current top of the arena; give it back to scratch_release to free
// everything taken since, in stack order.
size_t scratch_mark();
void scratch_release(size_t mark);

// `limbs` limbs from the top of the arena (contents undefined), or null when
// the arena has no room for them; nothing is taken then.
uint32_t *scratch_take(size_t limbs);

// Largest amount of the arena ever in use at once (for sizing and tests).
size_t scratch_peak();

// Gives the arena back on leaving a scope, whichever way it is left.
struct ScratchScope {
    size_t mark = scratch_mark();
    ScratchScope() = default;
    ScratchScope(const ScratchScope &) = delete;
    ScratchScope &operator=(const ScratchScope &) = delete;
    ~ScratchScope() { scratch_release(mark); }
};
