// Scratch arena of a context: one block of limbs reserved at start-up (sized
// by the precision, committed by the system only as pages are touched) or
// carved from another context, taken and given back in stack order.
#pragma once
#include <cstddef>
#include <cstdint>

#include "context.h"

// Maps room for `limbs` 32-bit limbs as cx's arena, replacing a smaller
// block that cx mapped itself (the contents are lost). STATUS_OK, or
// STATUS_NO_ROOM when the address space cannot be had (the previous block,
// if any, stays).
[[nodiscard]] Status scratch_reserve(Context &cx, size_t limbs);

// Maps `bytes` of zeroed, private, unreserved address space, or returns
// null; unmap_block gives it back. Each block is remembered (up to a few
// hundred) for use_large_pages.
void *map_zeroed(size_t bytes);
void unmap_block(void *p, size_t bytes);

// Marks every block of 2 MiB or more that map_zeroed made, and every later
// one, for large pages (once; any thread). A long product touches tens of
// megabytes for the first time, and a fault per 4 KiB page costs a sixth of
// its time; a short computation touches a little of many blocks, and 2 MiB
// pages would zero far more than it uses. So the transforms call this from
// a length on (LARGE_PAGES_LEN in fastmul.cpp), not the mapping.
void use_large_pages();

// Limbs still free above the current mark.
size_t scratch_room(const Context &cx);

// The current top of the arena; give it back to scratch_release to free
// everything taken since, in stack order.
size_t scratch_mark(const Context &cx);
void scratch_release(Context &cx, size_t mark);

// `limbs` limbs from the top of the arena (contents undefined, 64-byte
// aligned), or null when the arena has no room for them; nothing is taken
// then.
uint32_t *scratch_take(Context &cx, size_t limbs);

// Largest amount of the arena ever in use at once (for sizing and tests).
size_t scratch_peak(const Context &cx);

// Gives the arena back on leaving a scope, whichever way it is left.
struct ScratchScope {
    Context &cx;
    size_t mark;
    explicit ScratchScope(Context &c) : cx(c), mark(scratch_mark(c)) {}
    ScratchScope(const ScratchScope &) = delete;
    ScratchScope &operator=(const ScratchScope &) = delete;
    ~ScratchScope() { scratch_release(cx, mark); }
};
