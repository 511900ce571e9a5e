// Compiling a caller's code table into the multi-level decoding table, plain and UTuple forms.
#include "vlc/vlc_internal.h"

namespace OKV_NS {
namespace {

constexpr int kSortLimit = 1024;  // below this many entries prefixes are counted on sorted codes

struct Layout {
    uint32_t L;
    uint32_t m;       // number of levels
    uint32_t w[32];   // level widths, summing to L
    uint32_t bl;
    uint32_t E;
    uint32_t sgn;     // plain value field read sign-extended
    uint64_t T;       // element count
    int32_t size;     // GetSize result
};

inline uint32_t bitlen(uint64_t x) { return x ? 64 - uint32_t(__builtin_clzll(x)) : 0; }

inline uint32_t aligned_code(const VLCCodeEntry& e, uint32_t L) {
    return (e.code & okv_mask32(uint32_t(e.length))) << (L - uint32_t(e.length));
}

void heap_sort(uint64_t* a, int n) {
    auto sift = [a](int i, int end) {
        for (int c; (c = 2 * i + 1) < end; i = c) {
            if (c + 1 < end && a[c + 1] > a[c]) ++c;
            if (a[i] >= a[c]) return;
            uint64_t t = a[i]; a[i] = a[c]; a[c] = t;
        }
    };
    for (int i = n / 2 - 1; i >= 0; --i) sift(i, n);
    for (int end = n - 1; end > 0; --end) {
        uint64_t t = a[0]; a[0] = a[end]; a[end] = t;
        sift(0, end);
    }
}

// Widths, L and T; the table checks shared by both forms.  T counts one
// subtable per distinct P_j-bit prefix among the codes longer than P_j; for a
// prefix-free code this is the sorted-neighbour count, and where codes repeat or
// prefix one another it is the larger, always sufficient number.
StatusCode levels(const VLCCodeEntry* ent, int n, const Okv32s* sizes, int ns, Layout* lay) {
    uint32_t L = 0;
    for (int i = 0; i < n; ++i)
        if (ent[i].length > int32_t(L)) L = ent[i].length > 32 ? 33 : uint32_t(ent[i].length);
    if (L == 0 || L > 32) return okvErrVLCTable;
    uint32_t sum = 0, m = 0, wmax = 0;
    while (sum < L) {
        if (int(m) >= ns || sizes[m] < 1) return okvErrVLCTable;
        uint32_t w = uint32_t(sizes[m]) < L - sum ? uint32_t(sizes[m]) : L - sum;
        lay->w[m++] = w;
        sum += w;
        if (w > wmax) wmax = w;
    }
    lay->L = L;
    lay->m = m;
    lay->bl = bitlen(wmax);

    uint64_t keys[kSortLimit];
    int nk = 0;
    if (n < kSortLimit) {
        for (int i = 0; i < n; ++i)
            if (ent[i].length > int(lay->w[0])) keys[nk++] = uint64_t(aligned_code(ent[i], L)) << 6 | uint32_t(ent[i].length);
        heap_sort(keys, nk);
    }
    constexpr uint64_t kTooBig = uint64_t(1) << 33;
    uint64_t T = (uint64_t(1) << lay->w[0]) + 1;
    uint32_t P = lay->w[0];
    for (uint32_t j = 1; j < m; P += lay->w[j++]) {
        uint64_t nj = 0;
        if (n < kSortLimit) {
            uint64_t last = ~uint64_t(0);
            for (int i = 0; i < nk; ++i) {
                if ((keys[i] & 63) <= P) continue;
                uint64_t prefix = (keys[i] >> 6) >> (L - P);
                nj += prefix != last;
                last = prefix;
            }
        } else {
            for (int i = 0; i < n; ++i) {
                if (ent[i].length <= int(P)) continue;
                uint32_t prefix = aligned_code(ent[i], L) >> (L - P);
                int k = 0;
                while (k < i && !(ent[k].length > int(P) && (aligned_code(ent[k], L) >> (L - P)) == prefix)) ++k;
                nj += k == i;
            }
        }
        T += nj * ((uint64_t(1) << lay->w[j]) + 1);
        if (T > kTooBig) return okvErrVLCTable;
    }
    lay->T = T;
    return okvOk;
}

// Element width from the required width W, and the GetSize byte count.
StatusCode finish(Layout* lay, uint32_t fieldBits, uint32_t extra, StatusCode wideStatus) {
    uint32_t bt = bitlen(lay->T + 1);  // least k with 2^k - 1 >= T + 1
    uint32_t W = fieldBits + lay->bl + 1;
    if (bt + 1 > W) W = bt + 1;
    if (W > 32) return wideStatus;
    lay->E = W <= 8 ? 8 : W <= 16 ? 16 : 32;
    uint64_t size = lay->T * (lay->E / 8) + extra;
    if (size > 0x7FFFFFFF) return okvErrVLCTable;
    lay->size = int32_t(size);
    return okvOk;
}

// Plain form.  A table holding a negative value is read back sign-extended,
// any other zero-extended.  The value field has b_v + 1 bits (b_v: least k
// with 2^k >= the largest |value|), widened by one bit in the one case where
// they cannot return every value exactly: a negative value next to a value of
// exactly +2^b_v.  Tables whose element would need more than 32 bits are refused.
StatusCode plain_layout(const VLCCodeEntry* ent, int n, const Okv32s* sizes, int ns, Layout* lay) {
    StatusCode st = levels(ent, n, sizes, ns, lay);
    if (st != okvOk) return st;
    uint64_t V = 0;
    uint32_t need = 0;  // two's-complement width, or bit length if no value is negative
    for (int i = 0; i < n; ++i) {
        const int64_t v = ent[i].value;
        const uint64_t a = uint64_t(v < 0 ? -v : v);
        if (a > V) V = a;
        lay->sgn |= v < 0;
    }
    for (int i = 0; i < n; ++i) {
        const int32_t v = ent[i].value;
        const uint32_t b = lay->sgn ? bitlen(uint32_t(v < 0 ? ~v : v)) + 1 : bitlen(uint32_t(v));
        if (b > need) need = b;
    }
    const uint32_t bv = V <= 1 ? 0 : bitlen(V - 1);  // least k with 2^k >= V
    return finish(lay, need > bv + 1 ? need : bv + 1, 160, okvErrVLCTable);
}

StatusCode tuple_layout(const VLCCodeEntry* ent, int n, const Okv32s* sizes, int ns, int N, int B, Layout* lay) {
    if (N < 1 || B < 1) return okvErrBadArg;
    StatusCode st = levels(ent, n, sizes, ns, lay);
    if (st != okvOk) return st;
    uint64_t nb = uint64_t(N) * uint64_t(B);
    return finish(lay, nb > 32 ? 33 : uint32_t(nb), 176, okvErrBadArg);
}

template <class U>
StatusCode fill(U* t, const Layout& lay, const VLCCodeEntry* ent, int n) {
    const U empty = U(~U(1));
    for (uint64_t i = 0; i < lay.T; ++i) t[i] = empty;
    t[0] = U(lay.w[0]);
    uint32_t next = (1u << lay.w[0]) + 1;
    for (int i = 0; i < n; ++i) {
        const int32_t len = ent[i].length;
        if (len <= 0) continue;  // such entries cannot be decoded and are left out
        const uint32_t c = ent[i].code, nlen = uint32_t(len);
        uint32_t h = 0, S = 0;
        for (uint32_t j = 0;; ++j) {
            S += lay.w[j];
            if (S >= nlen) {
                uint32_t k = nlen - (S - lay.w[j]), r = S - nlen;
                uint32_t start = (c & okv_mask32(k)) << r;
                U leaf = U((uint32_t(ent[i].value) << (lay.bl + 1)) | (k << 1) | 1u);
                for (uint32_t x = 0; x < (1u << r); ++x) t[h + 1 + start + x] = leaf;
                break;
            }
            uint32_t idx = (c >> (nlen - S)) & okv_mask32(lay.w[j]);
            U e = t[h + 1 + idx];
            if (e == empty) {
                t[h + 1 + idx] = U(next << 1);
                t[next] = U(lay.w[j + 1]);
                h = next;
                next += (1u << lay.w[j + 1]) + 1;
            } else if (e & 1) {
                return okvErrVLCTable;  // the path runs into a shorter code
            } else {
                h = uint32_t(e) >> 1;
            }
        }
    }
    return okvOk;
}

// Writes the header, then the table.  The header goes first so that a failed
// InitAlloc leaves a block that Free recognises and releases.
StatusCode build(const Layout& lay, const VLCCodeEntry* ent, int n, void* mem, uint32_t flag, uint32_t N, uint32_t B) {
    VlcDecHeader* h = reinterpret_cast<VlcDecHeader*>(okv_align64(mem));
    void* table = reinterpret_cast<Okv8u*>(h) + 64;
    h->id = kVlcDecodeId;
    h->flag = flag;
    h->L = lay.L;
    h->table = table;
    h->E = lay.E;
    h->bl = lay.bl;
    h->n = N;
    h->b = B;
    h->nb = N * B;
    h->sgn = lay.sgn;
    if (lay.E == 8) return fill(static_cast<uint8_t*>(table), lay, ent, n);
    if (lay.E == 16) return fill(static_cast<uint16_t*>(table), lay, ent, n);
    return fill(static_cast<uint32_t*>(table), lay, ent, n);
}

template <class Spec>
StatusCode alloc_build(const Layout& lay, const VLCCodeEntry* ent, int n, Spec** pp, uint32_t N, uint32_t B) {
    void* mem = okvMalloc(lay.size);
    if (!mem) return okvErrMemAlloc;
    *pp = static_cast<Spec*>(mem);
    return build(lay, ent, n, mem, 1, N, B);
}

}  // namespace

StatusCode okvsVLCDecodeGetSize_32s(const VLCCodeEntry* pInputTable, int inputTableSize,
                                    const Okv32s* pSubTablesSizes, int numSubTables, int* pSize) {
    if (!pInputTable || !pSubTablesSizes || !pSize) return okvErrNullPtr;
    Layout lay{};
    StatusCode st = plain_layout(pInputTable, inputTableSize, pSubTablesSizes, numSubTables, &lay);
    if (st == okvOk) *pSize = lay.size;
    return st;
}

StatusCode okvsVLCDecodeInit_32s(const VLCCodeEntry* pInputTable, int inputTableSize,
                                 const Okv32s* pSubTablesSizes, int numSubTables, OkvsVLCDecodeSpec_32s* pVLCSpec) {
    if (!pInputTable || !pSubTablesSizes || !pVLCSpec) return okvErrNullPtr;
    Layout lay{};
    StatusCode st = plain_layout(pInputTable, inputTableSize, pSubTablesSizes, numSubTables, &lay);
    if (st != okvOk) return st;
    return build(lay, pInputTable, inputTableSize, pVLCSpec, 0, 0, 0);
}

StatusCode okvsVLCDecodeInitAlloc_32s(const VLCCodeEntry* pInputTable, int inputTableSize,
                                      const Okv32s* pSubTablesSizes, int numSubTables,
                                      OkvsVLCDecodeSpec_32s** ppVLCSpec) {
    if (!pInputTable || !pSubTablesSizes || !ppVLCSpec) return okvErrNullPtr;
    Layout lay{};
    StatusCode st = plain_layout(pInputTable, inputTableSize, pSubTablesSizes, numSubTables, &lay);
    if (st != okvOk) return st;
    return alloc_build(lay, pInputTable, inputTableSize, ppVLCSpec, 0, 0);
}

void okvsVLCDecodeFree_32s(OkvsVLCDecodeSpec_32s* pVLCSpec) { okv_vlc_free<VlcDecHeader>(pVLCSpec, kVlcDecodeId); }

StatusCode okvsVLCDecodeUTupleGetSize_32s(const VLCCodeEntry* pInputTable, int inputTableSize,
                                          const Okv32s* pSubTablesSizes, int numSubTables, int numElements,
                                          int numValueBit, int* pSize) {
    if (!pInputTable || !pSubTablesSizes || !pSize) return okvErrNullPtr;
    Layout lay{};
    StatusCode st = tuple_layout(pInputTable, inputTableSize, pSubTablesSizes, numSubTables, numElements, numValueBit, &lay);
    if (st == okvOk) *pSize = lay.size;
    return st;
}

StatusCode okvsVLCDecodeUTupleInit_32s(const VLCCodeEntry* pInputTable, int inputTableSize,
                                       const Okv32s* pSubTablesSizes, int numSubTables, int numElements,
                                       int numValueBit, OkvsVLCDecodeUTupleSpec_32s* pVLCSpec) {
    if (!pInputTable || !pSubTablesSizes || !pVLCSpec) return okvErrNullPtr;
    Layout lay{};
    StatusCode st = tuple_layout(pInputTable, inputTableSize, pSubTablesSizes, numSubTables, numElements, numValueBit, &lay);
    if (st != okvOk) return st;
    return build(lay, pInputTable, inputTableSize, pVLCSpec, 0, uint32_t(numElements), uint32_t(numValueBit));
}

StatusCode okvsVLCDecodeUTupleInitAlloc_32s(const VLCCodeEntry* pInputTable, int inputTableSize,
                                            const Okv32s* pSubTablesSizes, int numSubTables, int numElements,
                                            int numValueBit, OkvsVLCDecodeUTupleSpec_32s** ppVLCSpec) {
    if (!pInputTable || !pSubTablesSizes || !ppVLCSpec) return okvErrNullPtr;
    Layout lay{};
    StatusCode st = tuple_layout(pInputTable, inputTableSize, pSubTablesSizes, numSubTables, numElements, numValueBit, &lay);
    if (st != okvOk) return st;
    return alloc_build(lay, pInputTable, inputTableSize, ppVLCSpec, uint32_t(numElements), uint32_t(numValueBit));
}

void okvsVLCDecodeUTupleFree_32s(OkvsVLCDecodeUTupleSpec_32s* pVLCSpec) { okv_vlc_free<VlcDecHeader>(pVLCSpec, kVlcDecodeId); }

}  // namespace OKV_NS
