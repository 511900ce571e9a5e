// Pair decoders with the AAC escape sequence and the MP3 linbits field, over
// plain and UTuple decoding specs of any element width.  A code absent from
// the table fails like an over-long escape prefix: okvErrVLCParam, the pairs
// before it stored, the position unchanged.  linbits must lie in 0..14 so that
// every decoded magnitude fits 16 bits.
#include "vlc/vlc_internal.h"

namespace OKV_NS {
namespace {

constexpr int kMaxLinbits = 14;

// AAC escape: N - 4 one bits (N = 4..12), a zero, N bits m - 2^N.
inline bool aac_escape(VlcReader& rd, int32_t* v) {
    rd.ensure(21);
    const uint64_t top = rd.buf;
    if ((~top >> 55) == 0) return false;  // nine leading ones: N would be 13
    const uint32_t N = uint32_t(__builtin_clzll(~top)) + 4;
    const int32_t m = int32_t((1u << N) + uint32_t((top << (N - 3)) >> (64 - N)));
    rd.skip(2 * N - 3);
    *v = *v < 0 ? -m : m;
    return true;
}

// MP3 escape field: linbits bits of m - 15, then the sign.
inline int32_t mp3_linbits(VlcReader& rd, uint32_t linbits) {
    const uint32_t r = rd.bits(linbits + 1);
    const int32_t m = 15 + int32_t(r >> 1);
    return (r & 1) ? -m : m;
}

inline bool is16(int32_t v) { return v == 16 || v == -16; }
inline bool is15(int32_t v) { return v == 15 || v == -15; }

inline int32_t signed_by(VlcReader& rd, int32_t mag) { return rd.bits(1) ? -mag : mag; }

template <class Pair>
StatusCode run_pairs(const Okv8u** pp, int* pOffset, Okv16s* dst, int len, const VlcDecHeader* h, Pair pair) {
    VlcReader rd(*pp, *pOffset);
    const uint32_t bl = h->bl, sgn = h->sgn, L = h->L;
    StatusCode st = okv_vlc_by_width(h, [&](auto t) {
        typedef std::remove_cv_t<std::remove_pointer_t<decltype(t)>> T;
        const uint32_t w0 = uint32_t(t[0]);
        for (int i = 0; i + 1 < len; i += 2) {
            int32_t leaf, x, y;
            uint32_t n;
            rd.ensure(L);
            if (!okv_vlc_walk(t, w0, rd.buf, bl, &leaf, &n)) return okvErrVLCParam;
            if (!pair(rd, okv_vlc_value<T>(leaf, bl, sgn), okv_vlc_tuple_field<T>(leaf, bl), n, &x, &y)) return okvErrVLCParam;
            dst[i] = Okv16s(x);
            dst[i + 1] = Okv16s(y);
        }
        return okvOk;
    });
    if (st == okvOk) rd.store(pp, pOffset);
    return st;
}

StatusCode check(const Okv8u** pp, const int* pOffset, const void* dst, const void* spec, int linbits, bool tuple) {
    StatusCode st = okv_vlc_dec_check(pp, pOffset, dst, spec, okvErrBitOffset, okvErrContextMatch);
    if (st != okvOk) return st;
    if (unsigned(linbits) > unsigned(kMaxLinbits)) return okvErrVLCParam;
    if (tuple && okv_vlc_dec_header(spec)->n != 2) return okvErrVLCParam;  // pairs only
    return okvOk;
}

}  // namespace

StatusCode okvsVLCDecodeEscBlock_AAC_1u16s(const Okv8u** ppBitStream, int* pBitOffset, Okv16s* pData, int len,
                                           const OkvsVLCDecodeSpec_32s* pVLCSpec) {
    StatusCode st = check(ppBitStream, pBitOffset, pData, pVLCSpec, 0, false);
    if (st != okvOk || len < 2) return st;
    return run_pairs(ppBitStream, pBitOffset, pData, len, okv_vlc_dec_header(pVLCSpec),
                     [](VlcReader& rd, int32_t v, uint32_t, uint32_t n, int32_t* x, int32_t* y) {
                         rd.skip(n);
                         *x = v >> 8;
                         *y = (v & 255) - 128;
                         if (__builtin_expect(is16(*x) | is16(*y), 0)) {
                             if (is16(*x) && !aac_escape(rd, x)) return false;
                             if (is16(*y) && !aac_escape(rd, y)) return false;
                         }
                         return true;
                     });
}

StatusCode okvsVLCDecodeEscBlock_MP3_1u16s(const Okv8u** ppBitStream, int* pBitOffset, int linbits, Okv16s* pData,
                                           int len, const OkvsVLCDecodeSpec_32s* pVLCSpec) {
    StatusCode st = check(ppBitStream, pBitOffset, pData, pVLCSpec, linbits, false);
    if (st != okvOk || len < 2) return st;
    const uint32_t lb = uint32_t(linbits);
    return run_pairs(ppBitStream, pBitOffset, pData, len, okv_vlc_dec_header(pVLCSpec),
                     [lb](VlcReader& rd, int32_t v, uint32_t, uint32_t n, int32_t* x, int32_t* y) {
                         int32_t a = v >> 8, b = (v & 255) - 128;
                         rd.skip(n);
                         if (__builtin_expect(is15(a) | is15(b), 0)) {
                             if (is15(a)) {
                                 // Back to the end of the codeword proper (never before its start).
                                 const uint32_t signs = b ? 2 : 1;
                                 rd.back(signs < n ? signs : n - 1);
                                 a = mp3_linbits(rd, lb);
                                 if (is15(b)) b = mp3_linbits(rd, lb);
                                 else if (b) b = signed_by(rd, b < 0 ? -b : b);
                             } else {
                                 rd.back(n > 1 ? 1 : 0);
                                 b = mp3_linbits(rd, lb);
                             }
                         }
                         *x = a;
                         *y = b;
                         return true;
                     });
}

StatusCode okvsVLCDecodeUTupleEscBlock_AAC_1u16s(const Okv8u** ppBitStream, int* pBitOffset, Okv16s* pData, int len,
                                                 const OkvsVLCDecodeUTupleSpec_32s* pVLCSpec) {
    StatusCode st = check(ppBitStream, pBitOffset, pData, pVLCSpec, 0, true);
    if (st != okvOk || len < 2) return st;
    const VlcDecHeader* h = okv_vlc_dec_header(pVLCSpec);
    const uint32_t B = h->b, mask = okv_mask32(h->b);
    return run_pairs(ppBitStream, pBitOffset, pData, len, h,
                     [B, mask](VlcReader& rd, int32_t, uint32_t P, uint32_t n, int32_t* x, int32_t* y) {
                         rd.skip(n);
                         int32_t a = int32_t((P >> B) & mask), b = int32_t(P & mask);
                         if (a) a = signed_by(rd, a);
                         if (b) b = signed_by(rd, b);
                         if ((a == 16 || a == -16) && !aac_escape(rd, &a)) return false;
                         if ((b == 16 || b == -16) && !aac_escape(rd, &b)) return false;
                         *x = a;
                         *y = b;
                         return true;
                     });
}

StatusCode okvsVLCDecodeUTupleEscBlock_MP3_1u16s(const Okv8u** ppBitStream, int* pBitOffset, int linbits,
                                                 Okv16s* pData, int len, const OkvsVLCDecodeUTupleSpec_32s* pVLCSpec) {
    StatusCode st = check(ppBitStream, pBitOffset, pData, pVLCSpec, linbits, true);
    if (st != okvOk || len < 2) return st;
    const VlcDecHeader* h = okv_vlc_dec_header(pVLCSpec);
    const uint32_t B = h->b, mask = okv_mask32(h->b), lb = uint32_t(linbits);
    return run_pairs(ppBitStream, pBitOffset, pData, len, h,
                     [B, mask, lb](VlcReader& rd, int32_t, uint32_t P, uint32_t n, int32_t* x, int32_t* y) {
                         rd.skip(n);
                         const int32_t a = int32_t((P >> B) & mask), b = int32_t(P & mask);
                         *x = a == 15 ? mp3_linbits(rd, lb) : a ? signed_by(rd, a) : 0;
                         *y = b == 15 ? mp3_linbits(rd, lb) : b ? signed_by(rd, b) : 0;
                         return true;
                     });
}

}  // namespace OKV_NS
