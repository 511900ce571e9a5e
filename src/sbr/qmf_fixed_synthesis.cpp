// Fixed-point SBR synthesis, one slot per call.
//
// M bands (64 full rate, 32 downsampled), 2M new values:
//   v[n] = 1/64 Re(sum_k Y[k] exp(i pi/(2M) (k + 1/2)(2n - (4M - 1))))
// which is the complex form for Y = X at full rate and Y[k] = X[k] exp(-i pi (k + 1/2)/128)
// downsampled (whose phase is (k + 1/2)(2n - 127.5)). The real forms,
//   v[n] = 1/32 sum_k X[k] cos(pi/(2M) (k + 1/2)(2n - M)),
// are the complex one with Y[k] = 2 X[k] exp(i pi (k + 1/2) 191/128) at full rate and
// 2 X[k] exp(i pi (k + 1/2) 190/128) downsampled. With C = DCT-IV(Re Y) and
// S[n] = (-1)^n DCT-IV(reversed Im Y)[n] (length M, each through one M/2-point fixed FFT),
// 64 v[n] = S[n] - C[n] and 64 v[2M - 1 - n] = C[n] + S[n], n < M.
//
// The delay line stores 64 v, so the window sum (a quarter of the exact one) gives 16 times
// the float output of the same bands; after the analysis (bands at 1/16) the chain has unit
// gain. Intermediate shifts keep every FFT within range while the sum over the bands of
// |Re X| + |Im X| stays below 2^31 (real forms: of 2 |X|). Four values at a time throughout.
#include <cstring>

#include "sbr/qmf_fixed.h"
#include "sbr/qmf_window_data.h"

namespace OKV_NS {
namespace {

using namespace qmffx;

// DCT-IV of M values through an M/2-point FFT: z[m] = (a[2m] + i a[M - 1 - 2m]) times
// exp(-i pi (4m + 1)/(4M)), Z = FFT(z), y[k] = Z[k] exp(-i pi k/M); DCT[2k] = Re y[k],
// DCT[M - 1 - 2k] = -Im y[k].
template <int M>
struct Dct {
    alignas(16) Okv32s preC[M / 2];
    alignas(16) Okv32s preS[M / 2];
    alignas(16) Okv32s postC[M / 2];
    alignas(16) Okv32s postS[M / 2];
};

// Band rotations of one form, split into even and odd bands: [parity][k / 2].
template <int M>
struct BandTurn {
    alignas(16) Okv32s c[2][M / 2];
    alignas(16) Okv32s s[2][M / 2];
};

struct Tables {
    alignas(16) Okv32s w640[640];
    alignas(16) Okv32s w320[320];
    Dct<64> dct64;
    Dct<32> dct32;
    BandTurn<64> lp;       // exp(i pi (k + 1/2) 191/128)
    BandTurn<32> dn[2];    // exp(-i pi (k + 1/2)/128), exp(i pi (k + 1/2) 190/128)
};

template <int M>
constexpr void makeDct(Dct<M>& d) {
    for (int m = 0; m < M / 2; ++m) {
        d.preC[m] = q30cos(-(4 * m + 1) / (4.0 * M));
        d.preS[m] = q30sin(-(4 * m + 1) / (4.0 * M));
        d.postC[m] = q30cos(-double(m) / M);
        d.postS[m] = q30sin(-double(m) / M);
    }
}

template <int M>
constexpr void makeTurn(BandTurn<M>& t, double phase) {
    for (int k = 0; k < M; ++k) {
        t.c[k & 1][k / 2] = q30cos((k + 0.5) * phase);
        t.s[k & 1][k / 2] = q30sin((k + 0.5) * phase);
    }
}

constexpr Tables makeTables() {
    Tables t{};
    for (int n = 0; n < 640; ++n) t.w640[n] = SBR_TABLE_QMF_WINDOW_640_INT_Q30[n];
    for (int n = 0; n < 320; ++n) t.w320[n] = SBR_TABLE_QMF_WINDOW_320_INT_Q30[n];
    makeDct(t.dct64);
    makeDct(t.dct32);
    makeTurn(t.lp, 191 / 128.0);
    makeTurn(t.dn[0], -1 / 128.0);
    makeTurn(t.dn[1], 190 / 128.0);
    return t;
}
constexpr Tables kTab = makeTables();

template <int M>
const Dct<M>& dctTable() {
    if constexpr (M == 64) return kTab.dct64;
    else return kTab.dct32;
}

// Y split four ways, m < M/2: re[2m], im[2m], re[2m + 1], im[2m + 1].
template <int M>
struct Split {
    alignas(16) Okv32s re0[M / 2];
    alignas(16) Okv32s im0[M / 2];
    alignas(16) Okv32s re1[M / 2];
    alignas(16) Okv32s im1[M / 2];
};

// The DCT-IV (scaled by 2^(30 - SH) in the fold and 4 after the FFT) of M values whose even
// entries a[2m] are ev[m] and whose odd entries a[M - 1 - 2m] are od[m], each read backwards
// when its flag is set; y receives the rotated FFT output.
template <int M, int SH, bool evBack, bool odBack>
void dct4(const Okv32s* ev, const Okv32s* od, Okv32s* yr, Okv32s* yi) {
    const Dct<M>& t = dctTable<M>();
    for (int m = 0; m < M / 2; m += 4) {
        const Vec4c a = {evBack ? load4r(ev + M / 2 - 4 - m) : load4a(ev + m), odBack ? load4r(od + M / 2 - 4 - m) : load4a(od + m)};
        const Vec4c z = rotate4<SH>(a, load4a(t.preC + m), load4a(t.preS + m));
        store4a(yr + m, z.re);
        store4a(yi + m, z.im);
    }
    fft<M / 2>(yr, yi);
    for (int k = 0; k < M / 2; k += 4) {
        const Vec4c y = rotate4<28>({load4a(yr + k), load4a(yi + k)}, load4a(t.postC + k), load4a(t.postS + k));
        store4a(yr + k, y.re);
        store4a(yi + k, y.im);
    }
}

// 64 v (2M values) from Y; SH as for dct4.
template <int M, int SH>
void modulate(const Split<M>& y, Okv32s* v) {
    alignas(16) Okv32s cr[M / 2], ci[M / 2], sr[M / 2], si[M / 2];
    dct4<M, SH, false, true>(y.re0, y.re1, cr, ci);
    dct4<M, SH, true, false>(y.im1, y.im0, sr, si);
    // With P = Re ys - Re yc, Q = Im ys + Im yc, T = Im ys - Im yc, R = Re yc + Re ys:
    // v[2k] = P[k], v[2k + 1] = Q[M/2 - 1 - k], v[M + 2k] = T[k], v[M + 2k + 1] = R[M/2 - 1 - k].
    for (int k = 0; k < M / 2; k += 4) {
        const int b = M / 2 - 4 - k;
        const __m128i p = _mm_sub_epi32(load4a(sr + k), load4a(cr + k));
        const __m128i q = _mm_shuffle_epi32(_mm_add_epi32(load4a(si + b), load4a(ci + b)), 0x1B);
        const __m128i t = _mm_sub_epi32(load4a(si + k), load4a(ci + k));
        const __m128i r = _mm_shuffle_epi32(_mm_add_epi32(load4a(cr + b), load4a(sr + b)), 0x1B);
        store4(v + 2 * k, _mm_unpacklo_epi32(p, q));
        store4(v + 2 * k + 4, _mm_unpackhi_epi32(p, q));
        store4(v + M + 2 * k, _mm_unpacklo_epi32(t, r));
        store4(v + M + 2 * k + 4, _mm_unpackhi_epi32(t, r));
    }
}

// Complex bands split into y, rotated by turn (shift 30) when given.
template <int M>
void splitComplex(const Okv32sc* x, const BandTurn<M>* turn, Split<M>& y) {
    const Okv32s* in = &x[0].re;
    for (int m = 0; m < M / 2; m += 4) {
        Vec4c e = {load4(in + 4 * m), load4(in + 4 * m + 4)}, o = {load4(in + 4 * m + 8), load4(in + 4 * m + 12)};
        transpose4(e.re, e.im, o.re, o.im);
        if (turn) {
            e = rotate4<30>(e, load4a(turn->c[0] + m), load4a(turn->s[0] + m));
            o = rotate4<30>(o, load4a(turn->c[1] + m), load4a(turn->s[1] + m));
        }
        store4a(y.re0 + m, e.re);
        store4a(y.im0 + m, e.im);
        store4a(y.re1 + m, o.re);
        store4a(y.im1 + m, o.im);
    }
}

// Real bands times turn (shift 30), split into y.
template <int M>
void splitReal(const Okv32s* x, const BandTurn<M>& turn, Split<M>& y) {
    for (int m = 0; m < M / 2; m += 4) {
        const __m128 a = _mm_castsi128_ps(load4(x + 2 * m)), b = _mm_castsi128_ps(load4(x + 2 * m + 4));
        const __m128i ev = _mm_castps_si128(_mm_shuffle_ps(a, b, 0x88)), od = _mm_castps_si128(_mm_shuffle_ps(a, b, 0xDD));
        store4a(y.re0 + m, mulShift<30, true>(ev, load4a(turn.c[0] + m)));
        store4a(y.im0 + m, mulShift<30, true>(ev, load4a(turn.s[0] + m)));
        store4a(y.re1 + m, mulShift<30, true>(od, load4a(turn.c[1] + m)));
        store4a(y.im1 + m, mulShift<30, true>(od, load4a(turn.s[1] + m)));
    }
}

// Window sums over the delay line of a bank of B bands with the new block at slot p, then the
// position moves down one block. Tap j reads B contiguous values at 2Bp + d_j (mod 20B), with
// d = 0, 3B, 4B, 7B, 8B, ...: blocks never straddle the end of the line.
template <int B>
void windowSlot(Record* r, const Okv32s* w, Okv32s* pDst) {
    const int p = r->pos;
    alignas(16) Okv32s acc[B];
    windowRow<true>(acc, r->delay + 2 * B * p, w, B);
    for (int j = 1; j < 10; ++j)
        windowRow(acc, r->delay + (2 * B * p + (j / 2) * 4 * B + (j & 1) * 3 * B) % (20 * B), w + B * j, B);
    std::memcpy(pDst, acc, sizeof acc);
    r->pos = p > 0 ? p - 1 : 9;
}

StatusCode check(const void* a, const void* b, const void* pSpec, Okv32u id, Okv32u alt) {
    if (!a || !b || !pSpec) return okvErrNullPtr;
    const Okv32u got = headerAt(pSpec)->id;
    if (got != id && got != alt) return okvErrContextMatch;
    return okvOk;
}

}  // namespace

StatusCode okvsSynthesisFilter_SBRHQ_32sc32s(const Okv32sc* pSrc, Okv32s* pDst, void* pSpec) {
    if (const StatusCode s = check(pSrc, pDst, pSpec, kSynthesisHQ, kSynthesisHQ)) return s;
    Record* r = headerAt(pSpec)->rec;
    Split<64> y;
    splitComplex<64>(pSrc, nullptr, y);
    modulate<64, 32>(y, r->delay + 128 * r->pos);
    windowSlot<64>(r, kTab.w640, pDst);
    return okvOk;
}

StatusCode okvsSynthesisFilter_SBRLP_32s(const Okv32s* pSrc, Okv32s* pDst, void* pSpec) {
    if (const StatusCode s = check(pSrc, pDst, pSpec, kSynthesisLP, kSynthesisLP)) return s;
    Record* r = headerAt(pSpec)->rec;
    Split<64> y;
    splitReal(pSrc, kTab.lp, y);
    modulate<64, 31>(y, r->delay + 128 * r->pos);
    windowSlot<64>(r, kTab.w640, pDst);
    return okvOk;
}

StatusCode okvsSynthesisDownFilter_SBRHQ_32sc32s(const Okv32sc* pSrc, Okv32s* pDst, void* pSpec) {
    if (const StatusCode s = check(pSrc, pDst, pSpec, kDownHQ, kSynthesisHQ)) return s;
    Record* r = headerAt(pSpec)->rec;
    Split<32> y;
    splitComplex(pSrc, &kTab.dn[0], y);
    modulate<32, 32>(y, r->delay + 64 * r->pos);
    windowSlot<32>(r, kTab.w320, pDst);
    return okvOk;
}

StatusCode okvsSynthesisDownFilter_SBRLP_32s(const Okv32s* pSrc, Okv32s* pDst, void* pSpec) {
    if (const StatusCode s = check(pSrc, pDst, pSpec, kDownLP, kSynthesisLP)) return s;
    Record* r = headerAt(pSpec)->rec;
    Split<32> y;
    splitReal(pSrc, kTab.dn[1], y);
    modulate<32, 31>(y, r->delay + 64 * r->pos);
    windowSlot<32>(r, kTab.w320, pDst);
    return okvOk;
}

}  // namespace OKV_NS
