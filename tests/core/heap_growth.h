// Heap bytes still in use after 256 rounds of an allocate-and-release step (past a warm-up that
// settles the allocator): a block left behind each round shows as 256 times its size.
#pragma once
#include <malloc.h>

namespace heaptest {

template <class Round>
long growth(Round round) {
    for (int i = 0; i < 16; ++i) round();
    const long before = long(mallinfo2().uordblks);
    for (int i = 0; i < 256; ++i) round();
    return long(mallinfo2().uordblks) - before;
}

}  // namespace heaptest
