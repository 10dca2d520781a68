// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// Prepares the process's heap for a load that takes about `peakBytes` at
// its peak, in blocks from a few bytes to tens of megabytes, most of them
// freed again once the load is done. Where the allocator allows it, blocks
// of up to 32 MB are then served from the heap, where freed blocks are used
// again, and the heap grows at once by `peakBytes` (up to 1 GB) in room
// backed by large pages. Of that room, the `writtenBytes` the load surely
// writes are faulted in on a thread of their own while it goes on. The
// settings stay for the rest of the process. Elsewhere, and under an
// allocator of its own (a sanitizer's, a profiler's), this does nothing.
void prepareHeapForLargeLoad(qint64 peakBytes, qint64 writtenBytes);

// Asks the system to back the `size` bytes at `begin`, a block of the
// caller's not yet written, with large pages where whole ones fit in it.
// Does nothing for a smaller block or where the system has none.
void adviseLargePages(void *begin, qint64 size);
