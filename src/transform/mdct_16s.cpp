// 16-bit forward MDCT: headroom scaling, fold and Q14 pre-rotation into
// 16-bit complex values, the 16-bit FFT, Q14 post-rotation in 32 bits and a
// final Sfs conversion.
#include <tmmintrin.h>

#include "core/kernels.h"
#include "core/trig.h"
#include "transform/mdct.h"
#include "transform/struct_layout.h"

namespace OKV_NS {
namespace {

StatusCode get_size(int len, int* pSpecSize, int* pInitBufSize, int* pWorkBufSize) {
    if (!pSpecSize || !pInitBufSize || !pWorkBufSize) return okvErrNullPtr;
    if (len < 32 || ownsLog2(len) < 0) return okvErrSize;
    int fs, fi, fw;
    StatusCode st = okvsFFTGetSize_C_16sc(ownsLog2(len) - 2, kFftNoDiv, 0, &fs, &fi, &fw);
    if (st != okvOk) return okvErrSize;  // from 2^30 points the FFT's sizes leave 32 bits
    *pSpecSize = len + 168 + fs + 64;
    *pInitBufSize = fi;
    *pWorkBufSize = len + fw + 64;  // fw >= 2 len + 64 also holds the len/2 32-bit outputs
    return okvOk;
}

// The fold follows the float kind: per step g the 8-sample blocks at q-8-8g,
// q+8g, 3q-8-8g and 3q+8g feed front slots 4g..4g+3 and back slots
// q-4-4g..q-1-4g (even samples ascending, odd samples descending). The
// products run in pmaddwd on (sample, sample) x (coefficient, coefficient)
// pairs, exact in 32 bits.
inline __m128i evens16(__m128i p) {  // p0 p2 p4 p6 in the low half
    return _mm_shuffle_epi8(p, _mm_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1));
}
inline __m128i odds16_rev(__m128i p) {  // p7 p5 p3 p1 in the low half
    return _mm_shuffle_epi8(p, _mm_setr_epi8(14, 15, 10, 11, 6, 7, 2, 3, -1, -1, -1, -1, -1, -1, -1, -1));
}
inline __m128i ld16(const Okv16s* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// 4 slots: re = c u + s v + r, im = c v - s u + r, shifted; u = sa a - b, v = sc c - d.
inline __m128i rotate4(__m128i a, __m128i b, __m128i c, __m128i d, __m128i tab, int su, int sv,
                       __m128i r, __m128i sh) {
    const __m128i cc = _mm_shuffle_epi8(tab, _mm_setr_epi8(2, 3, 2, 3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15));
    const __m128i ss = _mm_shuffle_epi8(tab, _mm_setr_epi8(0, 1, 0, 1, 4, 5, 4, 5, 8, 9, 8, 9, 12, 13, 12, 13));
    const __m128i ab = _mm_unpacklo_epi16(a, b), cd = _mm_unpacklo_epi16(c, d);
    const __m128i pu = _mm_setr_epi16(su, -1, su, -1, su, -1, su, -1);
    const __m128i pv = _mm_setr_epi16(sv, -1, sv, -1, sv, -1, sv, -1);
    const __m128i nu = _mm_setr_epi16(-su, 1, -su, 1, -su, 1, -su, 1);
    __m128i re = _mm_add_epi32(_mm_madd_epi16(ab, _mm_sign_epi16(cc, pu)), _mm_madd_epi16(cd, _mm_sign_epi16(ss, pv)));
    __m128i im = _mm_add_epi32(_mm_madd_epi16(ab, _mm_sign_epi16(ss, nu)), _mm_madd_epi16(cd, _mm_sign_epi16(cc, pv)));
    re = _mm_sra_epi32(_mm_add_epi32(re, r), sh);
    im = _mm_sra_epi32(_mm_add_epi32(im, r), sh);
    // Low 16 bits of each, interleaved re, im.
    const __m128i low = _mm_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1);
    return _mm_unpacklo_epi16(_mm_shuffle_epi8(re, low), _mm_shuffle_epi8(im, low));
}

void pre_rotate(const Okv16s* x, Okv16sc* z, const Okv16s* tw, int q, Okv32s r, int shift) {
    const __m128i rv = _mm_set1_epi32(r), sh = _mm_cvtsi32_si128(shift);
    for (int g = 0; 8 * g < q; ++g) {
        const __m128i p0 = ld16(x + q - 8 - 8 * g), p1 = ld16(x + q + 8 * g);
        const __m128i p2 = ld16(x + 3 * q - 8 - 8 * g), p3 = ld16(x + 3 * q + 8 * g);
        const __m128i f = rotate4(evens16(p3), odds16_rev(p2), odds16_rev(p0), evens16(p1),
                                  ld16(tw + 8 * g), -1, 1, rv, sh);
        const __m128i b = rotate4(evens16(p0), odds16_rev(p1), odds16_rev(p3), evens16(p2),
                                  ld16(tw + 2 * (q - 4 - 4 * g)), 1, -1, rv, sh);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(z + 4 * g), f);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(z + q - 4 - 4 * g), b);
    }
}

// p[2j] = e[j], p[2j+1] = o[3-j] for 32-bit lanes.
inline void put32(Okv32s* p, __m128i e, __m128i o) {
    const __m128i r = _mm_shuffle_epi32(o, _MM_SHUFFLE(0, 1, 2, 3));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_unpacklo_epi32(e, r));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 4), _mm_unpackhi_epi32(e, r));
}

// X[2m] = c re + s im, X[N/2-1-2m] = s re - c im in 32 bits.
void post_rotate(const Okv16sc* z, Okv32s* y, const Okv16s* tw, int q) {
    const __m128i swap = _mm_setr_epi8(2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13);
    const __m128i alt = _mm_setr_epi16(1, -1, 1, -1, 1, -1, 1, -1);
    for (int g = 0; 8 * g < q; ++g) {
        const __m128i tf = ld16(tw + 8 * g), tb = ld16(tw + 2 * (q - 4 - 4 * g));
        const __m128i zf = _mm_loadu_si128(reinterpret_cast<const __m128i*>(z + 4 * g));
        const __m128i zb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(z + q - 4 - 4 * g));
        const __m128i pf = _mm_madd_epi16(zf, _mm_shuffle_epi8(tf, swap)), qf = _mm_madd_epi16(zf, _mm_sign_epi16(tf, alt));
        const __m128i pb = _mm_madd_epi16(zb, _mm_shuffle_epi8(tb, swap)), qb = _mm_madd_epi16(zb, _mm_sign_epi16(tb, alt));
        put32(y + 8 * g, pf, qb);
        put32(y + 2 * q - 8 - 8 * g, pb, qf);
    }
}

// Q14 pair rounded by adding 0.5 and truncating.
inline Okv16s q14(double v) { return Okv16s(Okv32s(16384.0 * v + 0.5 - (16384.0 * v + 0.5 < 0))); }

}  // namespace

StatusCode okvsMDCTFwdGetSize_16s(int len, int* pSpecSize, int* pInitBufSize, int* pWorkBufSize) {
    return get_size(len, pSpecSize, pInitBufSize, pWorkBufSize);
}

StatusCode okvsMDCTFwdInit_16s(OkvsMDCTFwdSpec_16s** ppSpec, int len, Okv8u* pMem, Okv8u* pInitBuf) {
    if (!ppSpec || !pMem) return okvErrNullPtr;
    if (len < 32 || ownsLog2(len) < 0) return okvErrSize;
    int ss = 0, is = 0, ws = 0;
    get_size(len, &ss, &is, &ws);
    OkvMdctSpec* s = ownsMdctHeader(pMem, len, ws);
    Okv8u* a = reinterpret_cast<Okv8u*>(s);
    s->fftOrder = ownsLog2(len) - 2;
    Okv16s* tw = reinterpret_cast<Okv16s*>(a + 64);
    for (int m = 0; m < len / 4; ++m) {
        const double ang = (8.0 * m + 1.0) / (4.0 * len);
        tw[2 * m] = q14(okv_sinpi(ang));
        tw[2 * m + 1] = q14(okv_cospi(ang));
    }
    s->twiddle = tw;
    OkvsFFTSpec_16sc* fft;
    StatusCode st = okvsFFTInit_C_16sc(&fft, s->fftOrder, kFftNoDiv, 0, ownsAlign64(a + 64 + len),
                                       pInitBuf);
    if (st != okvOk) return st;
    s->fft = fft;
    s->id = kMdctIdFwd16s;
    *ppSpec = reinterpret_cast<OkvsMDCTFwdSpec_16s*>(s);
    return okvOk;
}

StatusCode okvsMDCTFwdInitAlloc_16s(OkvsMDCTFwdSpec_16s** ppSpec, int len) {
    return ownsAllocInit<OkvMdctSpec>(
        ppSpec, [&](int* s, int* i, int* w) { return get_size(len, s, i, w); },
        [&](Okv8u* mem, Okv8u* ib) { return OKV_NS::okvsMDCTFwdInit_16s(ppSpec, len, mem, ib); });
}

StatusCode okvsMDCTFwdFree_16s(OkvsMDCTFwdSpec_16s* pSpec) {
    return ownsFreeSpec(ownsMdctSpec(pSpec), kMdctIdFwd16s);
}

StatusCode okvsMDCTFwdGetBufSize_16s(const OkvsMDCTFwdSpec_16s* pSpec, int* pSize) {
    return ownsSpecBufSize(ownsMdctSpec(pSpec), pSize, kMdctIdFwd16s);
}

StatusCode okvsMDCTFwd_16s_Sfs(const Okv16s* pSrc, Okv16s* pDst, const OkvsMDCTFwdSpec_16s* pSpec,
                               int scaleFactor, Okv8u* pBuffer) {
    if (!pSpec) return okvErrNullPtr;
    const OkvMdctSpec* s = reinterpret_cast<const OkvMdctSpec*>(pSpec);
    if (s->id != kMdctIdFwd16s) return okvErrContextMatch;
    if (!pSrc || !pDst) return okvErrNullPtr;
    const int n = s->len, q = n / 4, order = s->fftOrder;
    Okv16s mn, mx;
    okvsMinMax_16s(pSrc, n, &mn, &mx);
    const Okv32s peak = -Okv32s(mn) > mx ? -Okv32s(mn) : mx;
    if (peak == 0) {
        okvsZero_16s(pDst, n / 2);
        return okvOk;
    }
    OkvWorkBuf wb(pBuffer, s->workSize);
    if (!wb.ok()) return okvErrMemAlloc;
    // Headroom: peak * 2^d in [16385, 32768], one more bit below 32768/sqrt2.
    int d = 0;
    while ((peak << (d + 1)) <= 32768) ++d;
    const int h = d + ((peak << d) < 23169 ? 1 : 0);
    const Okv64s r = h < 16 ? Okv64s(1) << (15 - h) : 0;
    const Okv16s* tw = static_cast<const Okv16s*>(s->twiddle);
    Okv16sc* z = reinterpret_cast<Okv16sc*>(wb.get());
    pre_rotate(pSrc, z, tw, q, Okv32s(r), 16 - h);
    Okv8u* rest = wb.get() + n;  // n bytes hold the q complex 16-bit values
    okvsFFTFwd_CToC_16sc_Sfs(z, z, static_cast<const OkvsFFTSpec_16sc*>(s->fft), order + 1, rest);
    Okv32s* y = reinterpret_cast<Okv32s*>(rest);
    post_rotate(z, y, tw, q);
    okvsConvert_32s16s_Sfs(y, pDst, n / 2, scaleFactor - order + h + 10);
    return okvOk;
}

}  // namespace OKV_NS
