// SPDX-License-Identifier: GPL-3.0-or-later
#include "heap.h"

#include <algorithm>
#include <array>
#include <limits>
#include <thread>
#include <utility>
#ifdef __GLIBC__
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

// Why: memory faults in a page at a time when it is first written, and on a
// virtual machine a fault costs several microseconds. A million-book
// catalogue took 170,000 faults until its window showed, and its start
// 4.2-4.7 s; with large pages it takes 3,700 faults and 3.1-3.2 s. Blocks
// kept in the heap are used again once freed, without faulting anew. The
// zeroing of the fresh large pages still took a third of the start; done on
// another core while the catalogue is read, the start takes 1.9-2.3 s.

namespace {

constexpr quintptr LargePage = quintptr(2) << 20;

// The whole large pages in the `size` bytes at `begin`: where the first
// starts, and how many bytes they take.
std::pair<char *, size_t> largePagesIn(void *begin, size_t size)
{
    const quintptr lead = (LargePage - reinterpret_cast<quintptr>(begin) % LargePage) % LargePage;
    if (size < lead + LargePage)
        return {nullptr, 0};
    return {static_cast<char *>(begin) + lead, (size - lead) & ~(LargePage - 1)};
}

#ifdef __GLIBC__
constexpr int LargestHeapBlock = 32 << 20;                           // the most glibc serves from its heap
constexpr qint64 LargestRoom = std::numeric_limits<int>::max() / 2;  // twice it is an int, as mallopt takes
constexpr int DefaultTopPad = 128 << 10;

// Faults in the large pages in the `size` bytes at `begin` on a thread of
// their own, without writing them: the zeroing of fresh pages, which on a
// virtual machine took a third of a million books' start, then runs on
// another core, ahead of the load that writes them from the start on.
void faultInLargePagesMeanwhile(char *begin, qint64 size)
{
#ifdef MADV_POPULATE_WRITE
    const std::pair<char *, size_t> pages = largePagesIn(begin, size_t(size));
    if (pages.second > 0)
        std::thread([pages] { madvise(pages.first, pages.second, MADV_POPULATE_WRITE); }).detach();
#else
    Q_UNUSED(begin);
    Q_UNUSED(size);
#endif
}

// Grows the heap by `room` at once and asks for large pages over what it
// grew by, of which the first `written` bytes are faulted in meanwhile.
// glibc grows its heap by a request that neither its free blocks nor its
// top can serve, plus the top pad: requests of nearly the largest
// heap block are made until one does, no more than the free bytes it
// reports can serve and one, and freed again. Under an allocator of its own
// that is one request, and the heap does not grow.
void growHeapInLargePages(int room, qint64 written)
{
    constexpr size_t ProbeSize = LargestHeapBlock - (1 << 20);
    constexpr size_t MostProbes = 32;  // a heap with more free blocks this large has room enough
    const size_t probeCount = std::min(mallinfo2().fordblks / ProbeSize + 1, MostProbes);
    std::array<void *, MostProbes> probes{};
    mallopt(M_TOP_PAD, room);
    char *const before = static_cast<char *>(sbrk(0));
    char *after = before;
    for (size_t i = 0; i < probeCount && after == before; ++i) {
        probes[i] = malloc(ProbeSize);
        after = static_cast<char *>(sbrk(0));
    }
    for (void *probe : probes)
        free(probe);
    mallopt(M_TOP_PAD, DefaultTopPad);
    if (after - before < room)
        return;
    adviseLargePages(before, after - before);
    faultInLargePagesMeanwhile(before, std::min<qint64>(written, room));
}
#endif

}  // namespace

void prepareHeapForLargeLoad(qint64 peakBytes, qint64 writtenBytes)
{
#ifdef __GLIBC__
    const int room = int(std::min(peakBytes, LargestRoom));
    mallopt(M_MMAP_THRESHOLD, LargestHeapBlock);
    // The room, once grown, is not given back when a block beside it is
    // freed; nor is what the load freed.
    mallopt(M_TRIM_THRESHOLD, 2 * room);
    growHeapInLargePages(room, writtenBytes);
#else
    Q_UNUSED(peakBytes);
    Q_UNUSED(writtenBytes);
#endif
}

void adviseLargePages(void *begin, qint64 size)
{
#ifdef MADV_HUGEPAGE
    const auto [first, bytes] = largePagesIn(begin, size_t(size));
    if (bytes > 0)
        madvise(first, bytes, MADV_HUGEPAGE);
#else
    Q_UNUSED(begin);
    Q_UNUSED(size);
#endif
}
