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

template <class T>
void interleaveRows(const T* const* src, int nChannels, int len, T* dst) {
    for (int c = 0; c < nChannels; ++c) {
        const T* row = src[c];
        T* out = dst + c;
        for (int i = 0; i < len; ++i) out[size_t(i) * nChannels] = row[i];
    }
}

template <class T>
void deinterleaveRows(const T* src, int nChannels, int len, T* const* dst) {
    for (int c = 0; c < nChannels; ++c) {
        T* row = dst[c];
        const T* in = src + c;
        for (int i = 0; i < len; ++i) row[i] = in[size_t(i) * nChannels];
    }
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

template <class T>
StatusCode interleave(const T* const* src, int nChannels, int len, T* dst) {
    const StatusCode st = checkLayout(dst, src, nChannels, len);
    if (st < 0) return st;
    if (nChannels == 2) {
        const int done = interleave2(src[0], src[1], len, dst);
        const T* rows[2] = {src[0] + done, src[1] + done};
        if (done < len) interleaveRows(rows, 2, len - done, dst + 2 * done);
    } else {
        interleaveRows(src, nChannels, len, dst);
    }
    return st;
}

template <class T>
StatusCode deinterleave(const T* src, int nChannels, int len, T* const* dst) {
    const StatusCode st = checkLayout(src, dst, nChannels, len);
    if (st < 0) return st;
    if (nChannels == 2) {
        const int done = deinterleave2(src, len, dst[0], dst[1]);
        T* rows[2] = {dst[0] + done, dst[1] + done};
        if (done < len) deinterleaveRows(src + 2 * done, 2, len - done, rows);
    } else {
        deinterleaveRows(src, nChannels, len, dst);
    }
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
    int i = 0;
    if (nChannels == 1) {
        for (; i + 8 <= len; i += 8) storei(pDst + i, join8(pSrc[0] + i));
    } else if (nChannels == 2) {
        for (; i + 8 <= len; i += 8) {
            const __m128i a = join8(pSrc[0] + i), b = join8(pSrc[1] + i);
            storei(pDst + 2 * i, _mm_unpacklo_epi16(a, b));
            storei(pDst + 2 * i + 8, _mm_unpackhi_epi16(a, b));
        }
    }
    for (; i < len; ++i)
        for (int c = 0; c < nChannels; ++c) pDst[size_t(i) * nChannels + c] = join1(pSrc[c][i]);
    return okvOk;
}

}  // namespace OKV_NS
