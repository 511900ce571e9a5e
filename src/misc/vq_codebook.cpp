// TwinVQ codebook lifecycle. Unlike every other family the structure carries no
// identifier that operations check: its valid word is set by Init, cleared by Free
// and tested by nothing, so a freed caller-memory codebook still searches.
#include <cstddef>

#include "core/bits.h"
#include "core/kernels.h"
#include "misc/vq_internal.h"

namespace OKV_NS {
namespace {

constexpr std::size_t round64(std::size_t bytes) { return (bytes + 63) & ~std::size_t(63); }

// (16 length + 352) count + 1888, or -1 when it does not fit a 32-bit size.
Okv64s bookBytes(int length, int count) {
    const Okv64s perRow = 16 * Okv64s(length) + 352;  // below 2^36: the test below cannot overflow
    if (count > 0 && perRow > (INT32_MAX - 1888) / count) return -1;
    return perRow * count + 1888;
}

StatusCode checkShape(int length, int count) {
    if (length < 1 || count < 1 || bookBytes(length, count) < 0) return okvErrSize;
    return okvOk;
}

}  // namespace

StatusCode okvsVQCodeBookGetSize_32f(int length, int count, int* pSize) {
    if (!pSize) return okvErrNullPtr;
    if (const StatusCode st = checkShape(length, count); st != okvOk) return st;
    *pSize = int(bookBytes(length, count));
    return okvOk;
}

// Layout from pMem: the header; at the next 64-byte boundary the row pointers; the
// rows; then the scratch in the order distances, signs, sorted distances, candidates.
// Every part is rounded up to 64 bytes; padding is zeroed so that whole-chunk reads
// of a row's tail see defined values.
StatusCode okvsVQCodeBookInit_32f(const Okv32f* pTable, VQCodeBook** ppCodeBook, int length, int count, void* pMem) {
    if (!pTable || !ppCodeBook || !pMem) return okvErrNullPtr;
    if (const StatusCode st = checkShape(length, count); st != okvOk) return st;
    const std::size_t n = std::size_t(count), rowBytes = round64(4 * std::size_t(length));
    const std::size_t scratch = round64(4 * n);
    Okv8u* p = okv_align64(static_cast<Okv8u*>(pMem) + sizeof(VQCodeBook));
    VQCodeBook b;
    b.count = count;
    b.length = length;
    b.valid = 1;
    b.rows = reinterpret_cast<Okv32f**>(p);
    p += round64(8 * n);
    for (std::size_t c = 0; c < n; ++c, p += rowBytes) {
        Okv32f* row = reinterpret_cast<Okv32f*>(p);
        okvsCopy_32f(pTable + c * std::size_t(length), row, length);
        ownsSet_8u(0, p + 4 * std::size_t(length), int(rowBytes - 4 * std::size_t(length)));
        b.rows[c] = row;
    }
    ownsSet_8u(0, p, int(4 * scratch));
    b.distances = reinterpret_cast<Okv32f*>(p);
    b.signs = reinterpret_cast<Okv32s*>(p + scratch);
    b.sortedDistances = reinterpret_cast<Okv32f*>(p + 2 * scratch);
    b.candidates = reinterpret_cast<Okv32s*>(p + 3 * scratch);
    b.selfOwned = 0;
    ownsVQStore(static_cast<VQCodeBook*>(pMem), b);
    *ppCodeBook = static_cast<VQCodeBook*>(pMem);
    return okvOk;
}

StatusCode okvsVQCodeBookInitAlloc_32f(const Okv32f* pTable, VQCodeBook** ppCodeBook, int length, int count) {
    int size = 0;
    if (const StatusCode st = OKV_NS::okvsVQCodeBookGetSize_32f(length, count, &size); st != okvOk) return st;
    Okv8u* mem = okvsMalloc_8u(size);
    if (!mem) return okvErrMemAlloc;
    if (const StatusCode st = OKV_NS::okvsVQCodeBookInit_32f(pTable, ppCodeBook, length, count, mem); st != okvOk) {
        okvsFree(mem);
        return st;
    }
    ownsVQStoreField(*ppCodeBook, offsetof(VQCodeBook, selfOwned), 1);
    return okvOk;
}

StatusCode okvsVQCodeBookFree_32f(VQCodeBook* pCodeBook) {
    if (!pCodeBook) return okvErrNullPtr;
    const bool owned = ownsVQLoad(pCodeBook).selfOwned != 0;
    ownsVQStoreField(pCodeBook, offsetof(VQCodeBook, valid), 0);
    if (owned) okvsFree(pCodeBook);
    return okvOk;
}

}  // namespace OKV_NS
