// DTS 32-band synthesis filterbank. One call turns 32 subband samples into 32 output samples:
// a 16-point inverse DCT (even part) and an 8-point FFT between rotations (odd part) give the
// 32-value modulated block, which enters a 512-float history; eight taps of the 512-tap
// prototype over the even-aged blocks fill a 64-float accumulator, whose first half is output.
//
// Windowing order. With the prototypes in natural order, the second and fourth sums of a
// block take their coefficients mirrored inside each 32-tap half: R[64j + 31 - m] and
// R[64j + 63 - m] (taking R[64j + 16 + m] and R[64j + 48 + m] there does not reconstruct).
// The resulting filterbank is y[n] = sum_m sum_k x_k[m] g_k[n - 32m] with
//   g_k[t] = 1/4 (-1)^floor((k+1)/2) h[t] cos(pi (2k + 1)(t + 16.5) / 64),
//   h[t] = R[t] (-1)^floor(t/64), t = 0..511,
// where x_k[m] is input k of call m and y[n] is output n mod 32 of call floor(n / 32).
#include <xmmintrin.h>

#include "core/kernels.h"
#include "core/trig.h"
#include "misc/dts_tables_data.h"
#include "transform/dct.h"
#include "transform/fft.h"

namespace OKV_NS {
namespace {

constexpr Okv32u kDtsTag = 0x434D416Bu;  // "kAMC"
constexpr int kHeader = 64;
constexpr int kHistBytes = 576 * 4;

struct DtsSpec {
    Okv32u tag;
    Okv32s version;  // 15
    Okv32u selfOwned;
    Okv32u reserved;
    OkvsDCTSpec_32f* dct;  // inverse DCT, 16 points
    OkvsFFTSpec_32f* fft;  // complex FFT, 8 points, unscaled
    Okv8u* work;
    Okv32f* hist;  // H[0..511], block 0 newest
    Okv32f* acc;   // Z[0..63], right after the history
};
static_assert(sizeof(DtsSpec) <= kHeader, "header fits its 64 bytes");

constexpr Okv32f kRPerfect[512] = OKV_DTS_R_PERFECT_INIT;
constexpr Okv32f kRNonPerfect[512] = OKV_DTS_R_NONPERFECT_INIT;

// Window coefficients per table in the order the sums read them: part 0 R[64j + m],
// part 1 R[64j + 31 - m], part 2 R[64j + 32 + m], part 3 R[64j + 63 - m].
struct DtsWindow {
    Okv32f c[2][4][8][16];
};
constexpr DtsWindow makeWindow() {
    DtsWindow w{};
    for (int t = 0; t < 2; ++t) {
        const Okv32f* r = t ? kRPerfect : kRNonPerfect;
        for (int j = 0; j < 8; ++j)
            for (int m = 0; m < 16; ++m) {
                w.c[t][0][j][m] = r[64 * j + m];
                w.c[t][1][j][m] = r[64 * j + 31 - m];
                w.c[t][2][j][m] = r[64 * j + 32 + m];
                w.c[t][3][j][m] = r[64 * j + 63 - m];
            }
    }
    return w;
}
alignas(16) constexpr DtsWindow kWindow = makeWindow();

struct DtsRot {
    Okv32fc pre[8];   // exp(-i pi (4m + 1) / 64)
    Okv32fc post[8];  // exp(-i pi k / 16)
    Okv32f w1[16];    // 1 / (4 cos((2n + 1) pi / 128))
    Okv32f w2[16];    // -1 / (4 sin((2n + 1) pi / 128))
};
constexpr DtsRot makeRot() {
    DtsRot r{};
    for (int m = 0; m < 8; ++m) {
        r.pre[m] = {float(okv_cospi((4 * m + 1) / 64.0)), float(-okv_sinpi((4 * m + 1) / 64.0))};
        r.post[m] = {float(okv_cospi(m / 16.0)), float(-okv_sinpi(m / 16.0))};
    }
    for (int n = 0; n < 16; ++n) {
        r.w1[n] = float(1.0 / (4.0 * okv_cospi((2 * n + 1) / 128.0)));
        r.w2[n] = float(-1.0 / (4.0 * okv_sinpi((2 * n + 1) / 128.0)));
    }
    return r;
}
constexpr DtsRot kRot = makeRot();

inline int round16(int v) { return (v + 15) & ~15; }

DtsSpec* alignedStart(void* p) {
    return reinterpret_cast<DtsSpec*>((reinterpret_cast<Okv64u>(p) + 15) & ~Okv64u(15));
}

struct Sizes {
    int dctSpec, fftSpec, buf;
};
Sizes sizes() {
    int ds, di, dw, fs, fi, fw;
    okvsDCTInvGetSize_32f(16, 0, &ds, &di, &dw);
    okvsFFTGetSize_C_32fc(3, kFftNoDiv, 0, &fs, &fi, &fw);
    int buf = di > dw ? di : dw;
    buf = buf > fi ? buf : fi;
    buf = buf > fw ? buf : fw;
    return {round16(ds), round16(fs), buf};
}

StatusCode build(void* mem, Okv32u selfOwned) {
    DtsSpec* s = alignedStart(mem);
    const Sizes z = sizes();
    Okv8u* base = reinterpret_cast<Okv8u*>(s);
    s->tag = kDtsTag;
    s->version = 15;
    s->selfOwned = selfOwned;
    s->reserved = 0;
    s->hist = reinterpret_cast<Okv32f*>(base + kHeader);
    s->acc = s->hist + 512;
    for (int i = 0; i < 576; ++i) s->hist[i] = 0.0f;
    s->work = base + kHeader + kHistBytes + z.dctSpec + z.fftSpec;
    StatusCode st = okvsDCTInvInit_32f(&s->dct, 16, 0, base + kHeader + kHistBytes, s->work);
    if (st == okvOk)
        st = okvsFFTInit_C_32fc(&s->fft, 3, kFftNoDiv, 0, base + kHeader + kHistBytes + z.dctSpec, s->work);
    if (st != okvOk) s->tag = 0;
    return st;
}

// Steps 1 to 3: the modulated block of 32 values into h[0..31].
void modulate(const Okv32f* x, const DtsSpec* s, Okv32f* h) {
    alignas(16) Okv32f a[16], p[16], q[16];
    alignas(16) Okv32fc b[8], c[8];
    a[0] = 1.4142135f * x[0];
    for (int k = 1; k < 16; ++k) a[k] = x[2 * k] + x[2 * k - 1];
    okvsDCTInv_32f(a, p, s->dct, s->work);
    for (int m = 0; m < 8; ++m) {
        const Okv32f re = x[4 * m] + x[4 * m + 1], im = x[30 - 4 * m] + x[31 - 4 * m];
        b[m] = {re * kRot.pre[m].re - im * kRot.pre[m].im, re * kRot.pre[m].im + im * kRot.pre[m].re};
    }
    ownsFFT_32fc(b, c, s->fft, false, nullptr);
    for (int k = 0; k < 8; ++k) {
        const Okv32fc d = {(c[k].re * kRot.post[k].re - c[k].im * kRot.post[k].im) * 0.35355338f,
                           (c[k].re * kRot.post[k].im + c[k].im * kRot.post[k].re) * 0.35355338f};
        q[2 * k] = d.re;
        q[15 - 2 * k] = -d.im;  // q[2k + 1] = -Im D[7 - k]
    }
    for (int n = 0; n < 16; ++n) {
        const Okv32f sum = (p[n] + q[n]) * kRot.w1[n], dif = (q[n] - p[n]) * kRot.w2[n];
        h[n] = sum - dif;
        h[n + 16] = sum + dif;
    }
}

// sum_j c[j][m] * h[64 j + off + m], m < 16, j ascending, in four registers.
inline void taps(const Okv32f (*c)[16], const Okv32f* h, int off, Okv32f* out) {
    __m128 a[4];
    for (int r = 0; r < 4; ++r) a[r] = _mm_mul_ps(_mm_load_ps(c[0] + 4 * r), _mm_load_ps(h + off + 4 * r));
    for (int j = 1; j < 8; ++j)
        for (int r = 0; r < 4; ++r)
            a[r] = _mm_add_ps(a[r], _mm_mul_ps(_mm_load_ps(c[j] + 4 * r), _mm_load_ps(h + 64 * j + off + 4 * r)));
    for (int r = 0; r < 4; ++r) _mm_store_ps(out + 4 * r, a[r]);
}

}  // namespace

StatusCode okvsSynthesisFilterGetSize_DTS_32f(int* pSize) {
    if (!pSize) return okvErrNullPtr;
    const Sizes z = sizes();
    // Header and history (2368 bytes) and the worst alignment slack.
    *pSize = 2395 + z.dctSpec + z.fftSpec + z.buf;
    return okvOk;
}

StatusCode okvsSynthesisFilterInit_DTS_32f(void* pSpec) {
    if (!pSpec) return okvErrNullPtr;
    return build(pSpec, 0);
}

StatusCode okvsSynthesisFilterInitAlloc_DTS_32f(void** ppSpec) {
    if (!ppSpec) return okvErrNullPtr;
    int size;
    okvsSynthesisFilterGetSize_DTS_32f(&size);
    Okv8u* mem = okvsMalloc_8u(size);
    if (!mem) return okvErrMemAlloc;
    const StatusCode st = build(mem, 1);
    if (st != okvOk) {
        okvsFree(mem);
        return st;
    }
    *ppSpec = mem;
    return okvOk;
}

StatusCode okvsSynthesisFilterFree_DTS_32f(void* pSpec) {
    if (!pSpec) return okvErrNullPtr;
    DtsSpec* s = alignedStart(pSpec);
    if (s->tag != kDtsTag) return okvErrContextMatch;
    s->tag = 0;
    if (s->selfOwned == 1) okvsFree(pSpec);
    return okvOk;
}

StatusCode okvsSynthesisFilter_DTS_32f(const Okv32f* pSrc, Okv32f* pDst, int filterType, void* pSpec) {
    if (!pSrc || !pDst || !pSpec) return okvErrNullPtr;
    if (filterType != 0 && filterType != 1) return okvErrBadArg;
    DtsSpec* s = alignedStart(pSpec);
    if (s->tag != kDtsTag) return okvErrContextMatch;
    Okv32f* h = s->hist;
    Okv32f* z = s->acc;
    modulate(pSrc, s, h);
    const auto& w = kWindow.c[filterType];
    alignas(16) Okv32f sa[16], sb[16], sc[16], sd[16];
    taps(w[0], h, 0, sa);
    taps(w[1], h, 0, sb);
    taps(w[2], h, 16, sc);
    taps(w[3], h, 16, sd);
    for (int m = 0; m < 16; ++m) {
        z[m] += sa[m];
        z[31 - m] -= sb[m];
        z[32 + m] = -sc[m];
        z[63 - m] = -sd[m];
    }
    for (int i = 0; i < 32; ++i) pDst[i] = z[i];
    for (int i = 0; i < 32; ++i) z[i] = z[32 + i];
    okvsMove_32f(h, h + 32, 480);
    return okvOk;
}

}  // namespace OKV_NS
