// The scratch arena of a context: a bump allocator over one reserved block of
// limbs, so that the long operations need no allocation after start-up; and
// the names of the engine's statuses.
#include "scratch.h"

#include <sys/mman.h>

#include <atomic>
#include <mutex>

namespace {

// The engine's mapped blocks, so that they can be advised for large pages
// once a long computation starts (see use_large_pages).
struct Mapped {
    void *p;
    size_t bytes;
};
constexpr int MAPPED_MAX = 256;
std::mutex mapped_lock;
Mapped mapped[MAPPED_MAX];
int mapped_count = 0;
std::atomic<bool> large_pages{false};

void advise(void *p, size_t bytes) {
    if (bytes >= (size_t(2) << 20)) (void)madvise(p, bytes, MADV_HUGEPAGE);  // advice only: refused is fine
}

}  // namespace

void *map_zeroed(size_t bytes) {
    void *p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    std::lock_guard<std::mutex> hold(mapped_lock);
    if (large_pages.load(std::memory_order_relaxed)) advise(p, bytes);
    if (mapped_count < MAPPED_MAX) mapped[mapped_count++] = Mapped{p, bytes};
    return p;
}

void unmap_block(void *p, size_t bytes) {
    if (!p) return;
    std::lock_guard<std::mutex> hold(mapped_lock);
    for (int i = 0; i < mapped_count; i++)
        if (mapped[i].p == p) {
            mapped[i] = mapped[--mapped_count];
            break;
        }
    munmap(p, bytes);
}

void use_large_pages() {
    if (large_pages.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> hold(mapped_lock);
    if (large_pages.load(std::memory_order_relaxed)) return;
    for (int i = 0; i < mapped_count; i++) advise(mapped[i].p, mapped[i].bytes);
    large_pages.store(true, std::memory_order_release);
}

Status scratch_reserve(Context &cx, size_t limbs) {
    if (limbs <= cx.scratch_limbs) {
        cx.scratch_top = 0;
        return STATUS_OK;
    }
    // Untouched pages of a reservation cost nothing, so a large preset can
    // reserve generously and still start small.
    void *p = map_zeroed(limbs * sizeof(uint32_t));
    if (!p) return STATUS_NO_ROOM;
    if (cx.scratch && cx.owns_scratch) unmap_block(cx.scratch, cx.scratch_limbs * sizeof(uint32_t));
    cx.scratch = static_cast<uint32_t *>(p);
    cx.scratch_limbs = limbs;
    cx.scratch_top = 0;
    cx.owns_scratch = true;
    return STATUS_OK;
}

size_t scratch_room(const Context &cx) { return cx.scratch_limbs - cx.scratch_top; }

size_t scratch_mark(const Context &cx) { return cx.scratch_top; }

void scratch_release(Context &cx, size_t mark) {
    if (mark <= cx.scratch_top) cx.scratch_top = mark;
}

uint32_t *scratch_take(Context &cx, size_t limbs) {
    // Keep every piece on a 64-byte boundary: the transforms stream through them.
    size_t rounded = (limbs + 15) & ~size_t(15);
    if (rounded > cx.scratch_limbs - cx.scratch_top) return nullptr;
    uint32_t *p = cx.scratch + cx.scratch_top;
    cx.scratch_top += rounded;
    if (cx.scratch_top > cx.scratch_peak) cx.scratch_peak = cx.scratch_top;
    return p;
}

size_t scratch_peak(const Context &cx) { return cx.scratch_peak; }

const char *status_name(Status s) {
    switch (s) {
    case STATUS_OK: return "ok";
    case STATUS_NO_ROOM: return "no room";
    case STATUS_INTERRUPTED: return "interrupted";
    case STATUS_DOMAIN: return "outside the domain";
    case STATUS_DIVISION_BY_ZERO: return "division by zero";
    case STATUS_TOO_LARGE: return "too large";
    case STATUS_UNCERTAIN: return "uncertain";
    case STATUS_REFUSED: return "refused";
    case STATUS_NO_PERIOD: return "no period";
    case STATUS_CROSS_SCALE: return "cross scale";
    }
    return "unknown";
}
