// Interleave, deinterleave and float-to-16-bit join of channel rows.
#include <tmmintrin.h>

#include "core/bits.h"
#include "core/kernels.h"

namespace OKV_NS {
namespace {

inline __m128i loadi(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void storei(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }

// Shared checks: okvOk, okvWrnMisaligned or the first failing error.
template <class Rows>
StatusCode checkLayout(const void* packed, Rows rows, int nChannels, int len) {
    if (!packed || !rows) return okvErrNullPtr;
    if (nChannels < 1) return okvErrNumChannels;
    if (len < 1) return okvErrSize;
    bool misaligned = okv_misaligned16(packed);
    for (int c = 0; c < nChannels; ++c) {
        if (!rows[c]) return okvErrNullPtr;
        misaligned |= okv_misaligned16(rows[c]);
    }
    return misaligned ? okvWrnMisaligned : okvOk;
}

// Two channels, 32 bytes of each row per step; the scalar tail finishes the rows.
int interleave2(const Okv16s* a, const Okv16s* b, int len, Okv16s* d) {
    int i = 0;
    for (; i + 16 <= len; i += 16) {
        const __m128i x0 = loadi(a + i), y0 = loadi(b + i), x1 = loadi(a + i + 8), y1 = loadi(b + i + 8);
        storei(d + 2 * i, _mm_unpacklo_epi16(x0, y0));
        storei(d + 2 * i + 8, _mm_unpackhi_epi16(x0, y0));
        storei(d + 2 * i + 16, _mm_unpacklo_epi16(x1, y1));
        storei(d + 2 * i + 24, _mm_unpackhi_epi16(x1, y1));
    }
    return i;
}

int interleave2(const Okv32f* a, const Okv32f* b, int len, Okv32f* d) {
    int i = 0;
    for (; i + 8 <= len; i += 8) {
        const __m128 x0 = _mm_loadu_ps(a + i), y0 = _mm_loadu_ps(b + i);
        const __m128 x1 = _mm_loadu_ps(a + i + 4), y1 = _mm_loadu_ps(b + i + 4);
        _mm_storeu_ps(d + 2 * i, _mm_unpacklo_ps(x0, y0));
        _mm_storeu_ps(d + 2 * i + 4, _mm_unpackhi_ps(x0, y0));
        _mm_storeu_ps(d + 2 * i + 8, _mm_unpacklo_ps(x1, y1));
        _mm_storeu_ps(d + 2 * i + 12, _mm_unpackhi_ps(x1, y1));
    }
    return i;
}

int deinterleave2(const Okv16s* s, int len, Okv16s* a, Okv16s* b) {
    // Each vector becomes [4 left | 4 right] samples, then the halves pair up.
    const __m128i split = _mm_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15);
    int i = 0;
    for (; i + 16 <= len; i += 16) {
        const __m128i x0 = _mm_shuffle_epi8(loadi(s + 2 * i), split);
        const __m128i y0 = _mm_shuffle_epi8(loadi(s + 2 * i + 8), split);
        const __m128i x1 = _mm_shuffle_epi8(loadi(s + 2 * i + 16), split);
        const __m128i y1 = _mm_shuffle_epi8(loadi(s + 2 * i + 24), split);
        storei(a + i, _mm_unpacklo_epi64(x0, y0));
        storei(b + i, _mm_unpackhi_epi64(x0, y0));
        storei(a + i + 8, _mm_unpacklo_epi64(x1, y1));
        storei(b + i + 8, _mm_unpackhi_epi64(x1, y1));
    }
    return i;
}

int deinterleave2(const Okv32f* s, int len, Okv32f* a, Okv32f* b) {
    int i = 0;
    for (; i + 8 <= len; i += 8) {
        const __m128 x0 = _mm_loadu_ps(s + 2 * i), y0 = _mm_loadu_ps(s + 2 * i + 4);
        const __m128 x1 = _mm_loadu_ps(s + 2 * i + 8), y1 = _mm_loadu_ps(s + 2 * i + 12);
        _mm_storeu_ps(a + i, _mm_shuffle_ps(x0, y0, _MM_SHUFFLE(2, 0, 2, 0)));
        _mm_storeu_ps(b + i, _mm_shuffle_ps(x0, y0, _MM_SHUFFLE(3, 1, 3, 1)));
        _mm_storeu_ps(a + i + 4, _mm_shuffle_ps(x1, y1, _MM_SHUFFLE(2, 0, 2, 0)));
        _mm_storeu_ps(b + i + 4, _mm_shuffle_ps(x1, y1, _MM_SHUFFLE(3, 1, 3, 1)));
    }
    return i;
}

inline __m128i load64(const void* p) { return _mm_loadl_epi64(static_cast<const __m128i*>(p)); }
inline void store64(void* p, __m128i v) { _mm_storel_epi64(static_cast<__m128i*>(p), v); }
inline void storeHigh64(void* p, __m128i v) { _mm_storeh_pi(static_cast<__m64*>(p), _mm_castsi128_ps(v)); }
inline __m128i loadPair64(const void* lo, const void* hi) {
    return _mm_castps_si128(_mm_loadh_pi(_mm_castsi128_ps(load64(lo)), static_cast<const __m64*>(hi)));
}

// A 16-bit row pair of 4 samples as [4 samples of a | 4 samples of b] from [a0 b0 a1 b1 ...].
inline __m128i splitPairs16(__m128i v) {
    return _mm_shuffle_epi8(v, _mm_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, 2, 3, 6, 7, 10, 11, 14, 15));
}

// Single channel (column) of the interleaved block, samples from..len-1.
template <class T>
void interleaveColumn(const T* row, int from, int len, T* dst, size_t ch) {
    for (int i = from; i < len; ++i) dst[i * ch] = row[i];
}

template <class T>
void deinterleaveColumn(const T* src, size_t ch, int from, int len, T* row) {
    for (int i = from; i < len; ++i) row[i] = src[i * ch];
}

// Vector steps over channel groups at interleaved stride ch; each returns the first
// sample it left to the column loops.

// Four 16-bit rows of 8 samples to 8 groups of 4 channels.
inline void scatter4x8(const __m128i r[4], Okv16s* d, size_t ch) {
    const __m128i a = _mm_unpacklo_epi16(r[0], r[1]), b = _mm_unpacklo_epi16(r[2], r[3]);
    const __m128i e = _mm_unpackhi_epi16(r[0], r[1]), f = _mm_unpackhi_epi16(r[2], r[3]);
    const __m128i s[4] = {_mm_unpacklo_epi32(a, b), _mm_unpackhi_epi32(a, b), _mm_unpacklo_epi32(e, f),
                          _mm_unpackhi_epi32(e, f)};
    for (int k = 0; k < 4; ++k) {
        store64(d + 2 * k * ch, s[k]);
        storeHigh64(d + (2 * k + 1) * ch, s[k]);
    }
}

// Two 16-bit rows of 8 samples to 8 groups of 2 channels.
inline void scatter2x8(__m128i x, __m128i y, Okv16s* d, size_t ch) {
    __m128i lo = _mm_unpacklo_epi16(x, y), hi = _mm_unpackhi_epi16(x, y);
    for (int k = 0; k < 4; ++k) {
        _mm_storeu_si32(d + k * ch, lo);
        _mm_storeu_si32(d + (k + 4) * ch, hi);
        lo = _mm_srli_si128(lo, 4);
        hi = _mm_srli_si128(hi, 4);
    }
}

// Row pointers are copied to locals: the vector stores may alias the pointer array.
int interleave4(const Okv16s* const* rows, size_t ch, int len, Okv16s* d) {
    const Okv16s* const r[4] = {rows[0], rows[1], rows[2], rows[3]};
    int i = 0;
    for (; i + 8 <= len; i += 8) {
        const __m128i v[4] = {loadi(r[0] + i), loadi(r[1] + i), loadi(r[2] + i), loadi(r[3] + i)};
        scatter4x8(v, d + i * ch, ch);
    }
    return i;
}

int interleave4(const Okv32f* const* rows, size_t ch, int len, Okv32f* d) {
    const Okv32f* const r[4] = {rows[0], rows[1], rows[2], rows[3]};
    int i = 0;
    for (; i + 4 <= len; i += 4) {
        __m128 a = _mm_loadu_ps(r[0] + i), b = _mm_loadu_ps(r[1] + i);
        __m128 c = _mm_loadu_ps(r[2] + i), e = _mm_loadu_ps(r[3] + i);
        _MM_TRANSPOSE4_PS(a, b, c, e);
        _mm_storeu_ps(d + i * ch, a);
        _mm_storeu_ps(d + (i + 1) * ch, b);
        _mm_storeu_ps(d + (i + 2) * ch, c);
        _mm_storeu_ps(d + (i + 3) * ch, e);
    }
    return i;
}

int interleavePair(const Okv16s* const* rows, size_t ch, int len, Okv16s* d) {
    const Okv16s* const r[2] = {rows[0], rows[1]};
    int i = 0;
    for (; i + 8 <= len; i += 8) scatter2x8(loadi(r[0] + i), loadi(r[1] + i), d + i * ch, ch);
    return i;
}

int interleavePair(const Okv32f* const* rows, size_t ch, int len, Okv32f* d) {
    const Okv32f* const r[2] = {rows[0], rows[1]};
    int i = 0;
    for (; i + 4 <= len; i += 4) {
        const __m128 x = _mm_loadu_ps(r[0] + i), y = _mm_loadu_ps(r[1] + i);
        const __m128 lo = _mm_unpacklo_ps(x, y), hi = _mm_unpackhi_ps(x, y);
        _mm_storel_pi(reinterpret_cast<__m64*>(d + i * ch), lo);
        _mm_storeh_pi(reinterpret_cast<__m64*>(d + (i + 1) * ch), lo);
        _mm_storel_pi(reinterpret_cast<__m64*>(d + (i + 2) * ch), hi);
        _mm_storeh_pi(reinterpret_cast<__m64*>(d + (i + 3) * ch), hi);
    }
    return i;
}

int deinterleave4(const Okv16s* s, size_t ch, int len, Okv16s* const* rows) {
    Okv16s* const r[4] = {rows[0], rows[1], rows[2], rows[3]};
    int i = 0;
    for (; i + 8 <= len; i += 8) {
        const Okv16s* p = s + i * ch;
        // p[k]: samples 2k and 2k+1, four channels each.
        const __m128i p0 = loadPair64(p, p + ch), p1 = loadPair64(p + 2 * ch, p + 3 * ch);
        const __m128i p2 = loadPair64(p + 4 * ch, p + 5 * ch), p3 = loadPair64(p + 6 * ch, p + 7 * ch);
        const __m128i t0 = _mm_unpacklo_epi16(p0, p1), t1 = _mm_unpackhi_epi16(p0, p1);
        const __m128i t2 = _mm_unpacklo_epi16(p2, p3), t3 = _mm_unpackhi_epi16(p2, p3);
        const __m128i u0 = _mm_unpacklo_epi16(t0, t1), u1 = _mm_unpackhi_epi16(t0, t1);
        const __m128i u2 = _mm_unpacklo_epi16(t2, t3), u3 = _mm_unpackhi_epi16(t2, t3);
        storei(r[0] + i, _mm_unpacklo_epi64(u0, u2));
        storei(r[1] + i, _mm_unpackhi_epi64(u0, u2));
        storei(r[2] + i, _mm_unpacklo_epi64(u1, u3));
        storei(r[3] + i, _mm_unpackhi_epi64(u1, u3));
    }
    return i;
}

int deinterleave4(const Okv32f* s, size_t ch, int len, Okv32f* const* rows) {
    Okv32f* const r[4] = {rows[0], rows[1], rows[2], rows[3]};
    int i = 0;
    for (; i + 4 <= len; i += 4) {
        const Okv32f* p = s + i * ch;
        __m128 a = _mm_loadu_ps(p), b = _mm_loadu_ps(p + ch), c = _mm_loadu_ps(p + 2 * ch), e = _mm_loadu_ps(p + 3 * ch);
        _MM_TRANSPOSE4_PS(a, b, c, e);
        _mm_storeu_ps(r[0] + i, a);
        _mm_storeu_ps(r[1] + i, b);
        _mm_storeu_ps(r[2] + i, c);
        _mm_storeu_ps(r[3] + i, e);
    }
    return i;
}

int deinterleavePair(const Okv16s* s, size_t ch, int len, Okv16s* const* rows) {
    Okv16s* const r[2] = {rows[0], rows[1]};
    int i = 0;
    for (; i + 4 <= len; i += 4) {
        const Okv16s* p = s + i * ch;
        const __m128i lo = _mm_unpacklo_epi32(_mm_loadu_si32(p), _mm_loadu_si32(p + ch));
        const __m128i hi = _mm_unpacklo_epi32(_mm_loadu_si32(p + 2 * ch), _mm_loadu_si32(p + 3 * ch));
        const __m128i v = splitPairs16(_mm_unpacklo_epi64(lo, hi));
        store64(r[0] + i, v);
        storeHigh64(r[1] + i, v);
    }
    return i;
}

int deinterleavePair(const Okv32f* s, size_t ch, int len, Okv32f* const* rows) {
    Okv32f* const r[2] = {rows[0], rows[1]};
    int i = 0;
    for (; i + 4 <= len; i += 4) {
        const Okv32f* p = s + i * ch;
        __m128 lo = _mm_setzero_ps(), hi = _mm_setzero_ps();
        lo = _mm_loadh_pi(_mm_loadl_pi(lo, reinterpret_cast<const __m64*>(p)), reinterpret_cast<const __m64*>(p + ch));
        hi = _mm_loadh_pi(_mm_loadl_pi(hi, reinterpret_cast<const __m64*>(p + 2 * ch)),
                          reinterpret_cast<const __m64*>(p + 3 * ch));
        _mm_storeu_ps(r[0] + i, _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0)));
        _mm_storeu_ps(r[1] + i, _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1)));
    }
    return i;
}

// Channels in groups of four, then a pair, then single columns; vector tails end in
// the column loops.
template <class T>
void interleaveAny(const T* const* src, int nChannels, int len, T* dst) {
    const size_t ch = size_t(nChannels);
    int c = 0;
    for (; c + 4 <= nChannels; c += 4) {
        const int done = interleave4(src + c, ch, len, dst + c);
        for (int k = 0; k < 4; ++k) interleaveColumn(src[c + k], done, len, dst + c + k, ch);
    }
    if (c + 2 <= nChannels) {
        const int done = ch == 2 ? interleave2(src[0], src[1], len, dst) : interleavePair(src + c, ch, len, dst + c);
        for (int k = 0; k < 2; ++k) interleaveColumn(src[c + k], done, len, dst + c + k, ch);
        c += 2;
    }
    if (c < nChannels) interleaveColumn(src[c], 0, len, dst + c, ch);
}

template <class T>
void deinterleaveAny(const T* src, int nChannels, int len, T* const* dst) {
    const size_t ch = size_t(nChannels);
    int c = 0;
    for (; c + 4 <= nChannels; c += 4) {
        const int done = deinterleave4(src + c, ch, len, dst + c);
        for (int k = 0; k < 4; ++k) deinterleaveColumn(src + c + k, ch, done, len, dst[c + k]);
    }
    if (c + 2 <= nChannels) {
        const int done = ch == 2 ? deinterleave2(src, len, dst[0], dst[1]) : deinterleavePair(src + c, ch, len, dst + c);
        for (int k = 0; k < 2; ++k) deinterleaveColumn(src + c + k, ch, done, len, dst[c + k]);
        c += 2;
    }
    if (c < nChannels) deinterleaveColumn(src + c, ch, 0, len, dst[c]);
}

template <class T>
StatusCode interleave(const T* const* src, int nChannels, int len, T* dst) {
    const StatusCode st = checkLayout(dst, src, nChannels, len);
    if (st >= 0) interleaveAny(src, nChannels, len, dst);
    return st;
}

template <class T>
StatusCode deinterleave(const T* src, int nChannels, int len, T* const* dst) {
    const StatusCode st = checkLayout(src, dst, nChannels, len);
    if (st >= 0) deinterleaveAny(src, nChannels, len, dst);
    return st;
}

// min(x, 32767) (NaN -> 32767), round to nearest even, saturate: 8 floats to 8 shorts.
// Needs the nearest rounding mode.
inline __m128i join8(const Okv32f* p) {
    const __m128 top = _mm_set1_ps(32767.0f);
    return _mm_packs_epi32(_mm_cvtps_epi32(_mm_min_ps(_mm_loadu_ps(p), top)),
                           _mm_cvtps_epi32(_mm_min_ps(_mm_loadu_ps(p + 4), top)));
}

inline Okv16s join1(Okv32f x) {
    const int v = _mm_cvtss_si32(_mm_min_ss(_mm_set_ss(x), _mm_set_ss(32767.0f)));
    return Okv16s(v < -32768 ? -32768 : v);
}

}  // namespace

StatusCode okvsInterleave_16s(const Okv16s* const* pSrc, int nChannels, int len, Okv16s* pDst) {
    return interleave(pSrc, nChannels, len, pDst);
}

StatusCode okvsInterleave_32f(const Okv32f* const* pSrc, int nChannels, int len, Okv32f* pDst) {
    return interleave(pSrc, nChannels, len, pDst);
}

StatusCode okvsDeinterleave_16s(const Okv16s* pSrc, int nChannels, int len, Okv16s* const* pDst) {
    return deinterleave(pSrc, nChannels, len, pDst);
}

StatusCode okvsDeinterleave_32f(const Okv32f* pSrc, int nChannels, int len, Okv32f* const* pDst) {
    return deinterleave(pSrc, nChannels, len, pDst);
}

StatusCode okvsJoin_32f16s_D2L(const Okv32f* const* pSrc, int nChannels, int len, Okv16s* pDst) {
    if (!pDst) return okvErrNullPtr;
    if (nChannels < 1 || len < 1) return okvErrSize;
    if (!pSrc) return okvErrNullPtr;
    for (int c = 0; c < nChannels; ++c)
        if (!pSrc[c]) return okvErrNullPtr;
    OkvRoundingScope nearest(OkvRoundingScope::Nearest);
    const size_t ch = size_t(nChannels);
    auto column = [&](int c, int from) {
        for (int i = from; i < len; ++i) pDst[i * ch + c] = join1(pSrc[c][i]);
    };
    int c = 0;
    for (; c + 4 <= nChannels; c += 4) {
        int i = 0;
        for (; i + 8 <= len; i += 8) {
            const __m128i v[4] = {join8(pSrc[c] + i), join8(pSrc[c + 1] + i), join8(pSrc[c + 2] + i),
                                  join8(pSrc[c + 3] + i)};
            scatter4x8(v, pDst + i * ch + c, ch);
        }
        for (int k = 0; k < 4; ++k) column(c + k, i);
    }
    if (c + 2 <= nChannels) {
        int i = 0;
        for (; i + 8 <= len; i += 8) {
            const __m128i x = join8(pSrc[c] + i), y = join8(pSrc[c + 1] + i);
            if (ch == 2) {
                storei(pDst + 2 * i, _mm_unpacklo_epi16(x, y));
                storei(pDst + 2 * i + 8, _mm_unpackhi_epi16(x, y));
            } else {
                scatter2x8(x, y, pDst + i * ch + c, ch);
            }
        }
        column(c, i);
        column(c + 1, i);
        c += 2;
    }
    if (c < nChannels) {
        int i = 0;
        if (ch == 1)
            for (; i + 8 <= len; i += 8) storei(pDst + i, join8(pSrc[0] + i));
        column(c, i);
    }
    return okvOk;
}

}  // namespace OKV_NS
