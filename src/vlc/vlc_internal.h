// Spec layouts, bit reader/writer and table walk shared by the VLC codecs.
#pragma once
#include <cstdint>
#include <type_traits>

#include "core/okv_internal.h"
#include "okvcore/okvcore.h"

namespace OKV_NS {

constexpr uint32_t kVlcDecodeId = 0x434D4160u;
constexpr uint32_t kVlcEncodeId = 0x434D415Fu;

// Decoding spec header; the compiled table follows 64 bytes after its start.
// n/b/nb are 0 for the plain form; sgn tells a plain table whose value field is
// read sign-extended (it holds a negative value).
struct VlcDecHeader {
    uint32_t id;
    uint32_t flag;
    uint32_t L;
    const void* table;
    uint32_t E;
    uint32_t bl;
    uint32_t n;
    uint32_t b;
    uint32_t nb;
    uint32_t sgn;
};

// Encoding spec header; words [0, range] hold lengths (0 = value absent),
// words 2^b + i the codes.  vmin and range follow the public fields.
struct VlcEncHeader {
    const uint32_t* table;
    int32_t offset;
    uint32_t b;
    uint32_t flag;
    uint32_t id;
    int32_t vmin;
    uint32_t range;
};

inline const VlcDecHeader* okv_vlc_dec_header(const void* spec) {
    return reinterpret_cast<const VlcDecHeader*>(okv_align64(const_cast<void*>(spec)));
}
inline const VlcEncHeader* okv_vlc_enc_header(const void* spec) {
    return reinterpret_cast<const VlcEncHeader*>(okv_align64(const_cast<void*>(spec)));
}

// Free of both spec kinds: clears a present identifier and releases a block
// that InitAlloc obtained.  A pointer without the identifier is left alone.
template <class Header>
inline void okv_vlc_free(void* spec, uint32_t id) {
    if (!spec) return;
    Header* h = reinterpret_cast<Header*>(okv_align64(spec));
    if (h->id != id) return;  // never built, or already freed
    h->id = 0;
    if (h->flag == 1) okvFree(spec);
}

inline uint32_t okv_mask32(uint32_t k) {  // 2^k - 1 for k = 0..32
    return k >= 32 ? 0xFFFFFFFFu : (1u << k) - 1u;
}

typedef uint64_t okv_u64_unaligned __attribute__((aligned(1), may_alias));
typedef uint32_t okv_u32_unaligned __attribute__((aligned(1), may_alias));

// Reads a stream from a bit position, most significant bit first, through a
// 64-bit cache.  A refill loads the 8 bytes starting at the byte of the
// current position, and refills happen only where at least one bit is then
// consumed: a stream needs 7 readable bytes after the byte that holds its last
// code bit.
struct VlcReader {
    const Okv8u* base;
    uint64_t pos;    // bit position of the next bit, from base
    uint64_t buf;    // the bits from pos on, left-aligned
    uint32_t avail;  // valid bits in buf; at least 57 after a refill

    VlcReader(const Okv8u* b, int offset) : base(b), pos(uint64_t(offset)) { refill(); }
    void refill() {
        const uint64_t w = *reinterpret_cast<const okv_u64_unaligned*>(base + (pos >> 3));
        buf = __builtin_bswap64(w) << (pos & 7);
        avail = 64 - uint32_t(pos & 7);
    }
    void ensure(uint32_t n) {  // n <= 57
        if (avail < n) refill();
    }
    void skip(uint32_t n) {  // n <= avail, n < 64
        buf <<= n;
        avail -= n;
        pos += n;
    }
    uint32_t bits(uint32_t n) {  // n in 1..32
        ensure(n);
        const uint32_t v = uint32_t(buf >> (64 - n));
        skip(n);
        return v;
    }
    void back(uint32_t n) {
        pos -= n;
        refill();
    }
    void store(const Okv8u** pp, int* pOffset) const {
        *pp = base + (pos >> 3);
        *pOffset = int(pos & 7);
    }
};

// Writes codes most significant bit first from a byte position.  Full 32-bit
// words are stored as they fill; finish() stores the remaining bytes and keeps
// the bits after the final position of its last byte.  Only bytes holding new
// bits are written (the first byte's bits before the start are rewritten as read).
struct VlcWriter {
    Okv8u* p;
    uint64_t acc;
    uint32_t n;
    VlcWriter(Okv8u* start, uint32_t offset) : p(start), acc(uint32_t(*start) >> (8 - offset)), n(offset) {}
    void put(uint32_t code, uint32_t len) {  // len 0..32, code < 2^len
        acc = (acc << len) | code;
        n += len;
        if (n >= 32) {
            n -= 32;
            *reinterpret_cast<okv_u32_unaligned*>(p) = __builtin_bswap32(uint32_t(acc >> n));
            p += 4;
        }
    }
    void finish(Okv8u** pp, int* pOffset) {
        while (n >= 8) {
            n -= 8;
            *p++ = Okv8u(acc >> n);
        }
        if (n) *p = Okv8u((acc << (8 - n)) | (*p & (0xFFu >> n)));
        *pp = p;
        *pOffset = int(n);
    }
};

// One table walk from the first-level width w0 (element 0).  top holds the
// next stream bits left-aligned (at least L valid).  Elements are read
// sign-extended, so the empty marker 2^E - 2 reads as -2 at every width.
// Returns false for a code absent from the table, else the leaf element and
// the code length.
template <class T>
inline bool okv_vlc_walk(const T* t, uint32_t w0, uint64_t top, uint32_t bl, int32_t* leaf, uint32_t* len) {
    typedef std::make_unsigned_t<T> U;
    uint32_t w = w0;
    int32_t e = t[1 + (top >> (64 - w))];
    uint32_t s = w, d = 0;
    while (!(e & 1)) {
        if (e == -2) return false;
        uint32_t h = uint32_t(U(e)) >> 1;
        d += w;
        w = uint32_t(t[h]);
        e = t[h + 1 + ((top << s) >> (64 - w))];
        s += w;
    }
    *leaf = e;
    *len = d + ((uint32_t(e) >> 1) & ((1u << bl) - 1u));
    return true;
}

// Leaf value field, unsigned (UTuple tables and plain ones without negative values).
template <class T>
inline uint32_t okv_vlc_tuple_field(int32_t leaf, uint32_t bl) {
    return uint32_t(std::make_unsigned_t<T>(leaf)) >> (bl + 1);
}

// Leaf value of a plain table.
template <class T>
inline int32_t okv_vlc_value(int32_t leaf, uint32_t bl, uint32_t sgn) {
    return sgn ? leaf >> (bl + 1) : int32_t(okv_vlc_tuple_field<T>(leaf, bl));
}

// Code and length of value v; false when the table does not code v.
inline bool okv_vlc_enc_lookup(const VlcEncHeader* h, int32_t v, uint32_t* code, uint32_t* len) {
    const int64_t i = int64_t(v) - h->vmin;
    if (i < 0 || i > int64_t(h->range) || h->table[i] == 0) return false;
    *len = h->table[i];
    *code = h->table[(uint64_t(1) << h->b) + uint64_t(i)];
    return true;
}

// Calls f with the table as const int8_t*, int16_t* or int32_t* by element width.
template <class F>
inline StatusCode okv_vlc_by_width(const VlcDecHeader* h, F f) {
    if (h->E == 8) return f(static_cast<const int8_t*>(h->table));
    if (h->E == 16) return f(static_cast<const int16_t*>(h->table));
    return f(static_cast<const int32_t*>(h->table));
}

// Argument checks of every decoder: pointers (the byte pointer behind
// ppBitStream included), the offset as unsigned, then the identifier.
inline StatusCode okv_vlc_dec_check(const Okv8u* const* pp, const int* pOffset, const void* dst, const void* spec,
                                    StatusCode offsetStatus, StatusCode idStatus) {
    if (!pp || !*pp || !pOffset || !dst || !spec) return okvErrNullPtr;
    if (unsigned(*pOffset) > 7) return offsetStatus;
    if (okv_vlc_dec_header(spec)->id != kVlcDecodeId) return idStatus;
    return okvOk;
}

}  // namespace OKV_NS
