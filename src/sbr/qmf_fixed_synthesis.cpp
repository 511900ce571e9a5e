// Fixed-point SBR synthesis, one slot per call.
//
// M bands (64 full rate, 32 downsampled), 2M new values:
//   v[n] = 1/64 Re(sum_k Y[k] exp(i pi/(2M) (k + 1/2)(2n - (4M - 1))))
// which is the complex form for Y = X at full rate and Y[k] = X[k] exp(-i pi (k + 1/2)/128)
// downsampled (whose phase is (k + 1/2)(2n - 127.5)). With C = DCT-IV(Re Y) and
// S[n] = (-1)^n DCT-IV(reversed Im Y)[n] (length M, each through one M/2-point fixed FFT),
// 64 v[n] = S[n] - C[n] and 64 v[2M - 1 - n] = C[n] + S[n], n < M.
//
// The real forms,
//   v[n] = 1/32 sum_k X[k] cos(pi/M (k + 1/2)(n - M/2)),
// need only the DCT-II C[m] = sum_k X[k] cos(pi/M (k + 1/2) m), m <= M (C[M] = 0): as
// C[-m] = C[m] and C[2M - m] = -C[m], 64 v[n] = 2 C[|n - M/2|] up to n = 3M/2 and
// -2 C[5M/2 - n] above. The DCT-II runs through one M/2-point FFT of
// z[j] = u[2j] + i u[2j + 1], u[n] = X[2n], u[M - 1 - n] = X[2n + 1]: with Z[M/2] = Z[0],
// A = Z[k] + conj Z[M/2 - k], B = -i (Z[k] - conj Z[M/2 - k]), V = A + exp(-2 pi i k/M) B
// (twice the M-point FFT of u) and W = exp(-i pi k/(2M)) V, 2 C[k] = Re W and
// 2 C[M - k] = -Im W, k < M/2; 2 C[M/2] = 2 (Re Z[0] - Im Z[0]) cos(pi/4).
//
// The delay line stores 64 v, so the window sum (a quarter of the exact one) gives 16 times
// the float output of the same bands; after the analysis (bands at 1/16) the chain has unit
// gain. Intermediate shifts keep every FFT within range while the sum over the bands of
// |Re X| + |Im X| stays below 2^31 (real forms: of 2 |X|). Four values at a time throughout.
#include "sbr/qmf_fixed.h"
#include "sbr/qmf_window_data.h"

namespace OKV_NS {
namespace {

using namespace qmffx;

// DCT-IV of M values through an M/2-point FFT: z[m] = (a[2m] + i a[M - 1 - 2m]) times
// exp(-i pi (4m + 1)/(4M)) (the fold), Z = FFT(z), y[k] = Z[k] exp(-i pi k/M); DCT[2k] = Re y[k],
// DCT[M - 1 - 2k] = -Im y[k].
// The fold shifts by 32 (a quarter), the rotation after the FFT by 28 (4 times).
template <int M>
struct Dct {
    Turn4 pre[M / 8];
    Turn4 post[M / 8];
};

// Band rotations of the downsampled complex form (shift 30), split into even and odd bands:
// [parity][k / 8], lane k / 2 % 4.
using BandTurn = Turn4[2][4];

// The DCT-II rotations exp(-2 pi i k/M) and exp(-i pi k/(2M)), k < M/2, shift 30.
template <int M>
struct Dct2 {
    Turn4 e[M / 8];
    Turn4 w[M / 8];
};

constexpr Window<640> kWin640 = makeWindow(SBR_TABLE_QMF_WINDOW_640_INT_Q30);
constexpr Window<320> kWin320 = makeWindow(SBR_TABLE_QMF_WINDOW_320_INT_Q30);

struct Tables {
    Dct<64> dct64;
    Dct<32> dct32;
    Dct2<64> dct2x64;
    Dct2<32> dct2x32;
    BandTurn dnHQ;  // exp(-i pi (k + 1/2)/128)
};

template <int M>
constexpr void makeDct(Dct<M>& d) {
    for (int m = 0; m < M / 2; ++m) {
        setTurn(d.pre[m / 4], m % 4, q30cos(-(4 * m + 1) / (4.0 * M)), q30sin(-(4 * m + 1) / (4.0 * M)), 32);
        setTurn(d.post[m / 4], m % 4, q30cos(-double(m) / M), q30sin(-double(m) / M), 28);
    }
}

template <int M>
constexpr void makeDct2(Dct2<M>& d) {
    for (int k = 0; k < M / 2; ++k) {
        setTurn(d.e[k / 4], k % 4, q30cos(-2.0 * k / M), q30sin(-2.0 * k / M), 30);
        setTurn(d.w[k / 4], k % 4, q30cos(-0.5 * k / M), q30sin(-0.5 * k / M), 30);
    }
}

constexpr Tables makeTables() {
    Tables t{};
    makeDct(t.dct64);
    makeDct(t.dct32);
    makeDct2(t.dct2x64);
    makeDct2(t.dct2x32);
    for (int k = 0; k < 32; ++k)
        setTurn(t.dnHQ[k & 1][k / 8], k / 2 % 4, q30cos(-(k + 0.5) / 128), q30sin(-(k + 0.5) / 128), 30);
    return t;
}
constexpr Tables kTab = makeTables();
// All but the DCT-II's first rotations have no negative factor: no sign corrections.
static_assert(nonNegative(kTab.dct64.pre) && nonNegative(kTab.dct64.post) && nonNegative(kTab.dct32.pre) &&
              nonNegative(kTab.dct32.post) && nonNegative(kTab.dnHQ[0]) && nonNegative(kTab.dnHQ[1]) &&
              nonNegative(kTab.dct2x64.w) && nonNegative(kTab.dct2x32.w));

template <int M>
const Dct<M>& dctTable() {
    if constexpr (M == 64) return kTab.dct64;
    else return kTab.dct32;
}
template <int M>
const Dct2<M>& dct2Table() {
    if constexpr (M == 64) return kTab.dct2x64;
    else return kTab.dct2x32;
}

// The folded values of the cosine (c) and sine (s) DCTs.
template <int M>
struct Folded {
    alignas(16) Okv32s cr[M / 2];
    alignas(16) Okv32s ci[M / 2];
    alignas(16) Okv32s sr[M / 2];
    alignas(16) Okv32s si[M / 2];
};

// 64 v (2M values) from the folded values: the FFTs, the rotation after them (4 times, shift
// 28), then with P = Re ys - Re yc, Q = Im ys + Im yc, D = Im ys - Im yc, R = Re yc + Re ys:
// v[2k] = P[k], v[2k + 1] = Q[M/2 - 1 - k], v[M + 2k] = D[k], v[M + 2k + 1] = R[M/2 - 1 - k].
// The groups k and M/2 - 4 - k need the same four rotated groups: they are done together.
template <int M>
void modulate(Folded<M>& z, Okv32s* v) {
    const Dct<M>& t = dctTable<M>();
    fft<M / 2>(z.cr, z.ci);
    fft<M / 2>(z.sr, z.si);
    const auto turned = [&](const Okv32s* re, const Okv32s* im, int k) {
        return rotate4<28, 0>({load4a(re + k), load4a(im + k)}, t.post[k / 4]);
    };
    // c, s: group k of each DCT; cb, sb: group M/2 - 4 - k.
    const auto put = [&](int k, Vec4c c, Vec4c s, Vec4c cb, Vec4c sb) {
        const __m128i p = _mm_sub_epi32(s.re, c.re), q = _mm_shuffle_epi32(_mm_add_epi32(sb.im, cb.im), 0x1B);
        const __m128i d = _mm_sub_epi32(s.im, c.im), r = _mm_shuffle_epi32(_mm_add_epi32(cb.re, sb.re), 0x1B);
        store4(v + 2 * k, _mm_unpacklo_epi32(p, q));
        store4(v + 2 * k + 4, _mm_unpackhi_epi32(p, q));
        store4(v + M + 2 * k, _mm_unpacklo_epi32(d, r));
        store4(v + M + 2 * k + 4, _mm_unpackhi_epi32(d, r));
    };
    for (int k = 0; k < M / 4; k += 4) {
        const int b = M / 2 - 4 - k;
        const Vec4c c = turned(z.cr, z.ci, k), s = turned(z.sr, z.si, k);
        const Vec4c cb = turned(z.cr, z.ci, b), sb = turned(z.sr, z.si, b);
        put(k, c, s, cb, sb);
        put(b, cb, sb, c, s);
    }
}

// The folds of complex bands (after the rotation turn, shift 30, when given): the cosine DCT
// takes a[2m] = Re Y[2m], a[M - 1 - 2m] = Re Y[M - 1 - 2m]; the sine DCT a[2m] = Im Y[M - 1 - 2m],
// a[M - 1 - 2m] = Im Y[2m]. The fold scales by 2^-2 (shift 32). Group m of the fold takes the
// even bands of group m and the odd ones of group M/2 - 4 - m: the two groups are done together.
template <int M>
void foldComplex(const Okv32sc* x, const BandTurn* turn, Folded<M>& z) {
    const Dct<M>& t = dctTable<M>();
    const Okv32s* in = &x[0].re;
    // Y[2m] (e) and Y[2m + 1] (o), m = g .. g + 3.
    const auto bands = [&](int g, Vec4c& e, Vec4c& o) {
        e = {load4(in + 4 * g), load4(in + 4 * g + 4)};
        o = {load4(in + 4 * g + 8), load4(in + 4 * g + 12)};
        transpose4(e.re, e.im, o.re, o.im);
        if (turn) {
            e = rotate4<30, 0>(e, (*turn)[0][g / 4]);
            o = rotate4<30, 0>(o, (*turn)[1][g / 4]);
        }
    };
    // ob: the odd bands of group M/2 - 4 - m.
    const auto put = [&](int m, Vec4c e, Vec4c ob) {
        const __m128i obr = _mm_shuffle_epi32(ob.re, 0x1B), obi = _mm_shuffle_epi32(ob.im, 0x1B);
        const Vec4c zc = rotate4<32, 0>({e.re, obr}, t.pre[m / 4]);
        const Vec4c zs = rotate4<32, 0>({obi, e.im}, t.pre[m / 4]);
        store4a(z.cr + m, zc.re);
        store4a(z.ci + m, zc.im);
        store4a(z.sr + m, zs.re);
        store4a(z.si + m, zs.im);
    };
    for (int m = 0; m < M / 4; m += 4) {
        const int b = M / 2 - 4 - m;
        Vec4c e, o, eb, ob;
        bands(m, e, o);
        bands(b, eb, ob);
        put(m, e, ob);
        put(b, eb, o);
    }
}

// 64 v (2M values) of a real form from the bands x.
template <int M>
void modulateReal(const Okv32s* x, Okv32s* v) {
    const Dct2<M>& t = dct2Table<M>();
    // z[j] = X[4j] + i X[4j + 2] and z[M/2 - 1 - j] = X[4j + 3] + i X[4j + 1], j < M/4.
    alignas(16) Okv32s zr[M / 2 + 4], zi[M / 2 + 4];
    for (int j = 0; j < M / 4; j += 4) {
        __m128i r0 = load4(x + 4 * j), r1 = load4(x + 4 * j + 4), r2 = load4(x + 4 * j + 8), r3 = load4(x + 4 * j + 12);
        transpose4(r0, r1, r2, r3);
        store4a(zr + j, r0);
        store4a(zi + j, r2);
        store4a(zr + M / 2 - 4 - j, _mm_shuffle_epi32(r3, 0x1B));
        store4a(zi + M / 2 - 4 - j, _mm_shuffle_epi32(r1, 0x1B));
    }
    fft<M / 2>(zr, zi);
    zr[M / 2] = zr[0];
    zi[M / 2] = zi[0];
    alignas(16) Okv32s d[M + 4];  // 2 C[0 .. M]
    for (int k = 0; k < M / 2; k += 4) {
        const __m128i zero = _mm_setzero_si128();
        const Vec4c a = {load4a(zr + k), load4a(zi + k)};
        const Vec4c b = {load4r(zr + M / 2 - 3 - k), _mm_sub_epi32(zero, load4r(zi + M / 2 - 3 - k))};
        const Vec4c e = rotate4<30, kNegC | kNegT>({_mm_sub_epi32(a.im, b.im), _mm_sub_epi32(b.re, a.re)}, t.e[k / 4]);
        const Vec4c w = rotate4<30, 0>({_mm_add_epi32(_mm_add_epi32(a.re, b.re), e.re),
                                            _mm_add_epi32(_mm_add_epi32(a.im, b.im), e.im)}, t.w[k / 4]);
        store4a(d + k, w.re);
        store4(d + M - 3 - k, _mm_shuffle_epi32(_mm_sub_epi32(zero, w.im), 0x1B));
    }
    d[M / 2] = Okv32s(((int64_t{zr[0]} - zi[0]) * (2 * kSqrtHalfQ30) + (1 << 29)) >> 30);
    for (int n = 0; n < M / 2; n += 4) {
        store4a(v + n, load4r(d + M / 2 - 3 - n));
        store4a(v + 3 * M / 2 + n, _mm_sub_epi32(_mm_setzero_si128(), load4r(d + M - 3 - n)));
    }
    for (int m = 0; m < M; m += 4) store4a(v + M / 2 + m, load4a(d + m));
}

// Window sums over the delay line of a bank of B bands with the new block at slot p, then the
// position moves down one block. Tap j reads B contiguous values at 2Bp + d_j (mod 20B), with
// d = 0, 3B, 4B, 7B, 8B, ...: blocks never straddle the end of the line.
template <int B, const auto& W>
void windowSlot(Record* r, Okv32s* pDst) {
    const int p = r->pos;
    const Okv32s* x[10];
    // Offsets below 40B: one conditional subtraction wraps them (a modulo here costs a vector
    // division).
    for (int j = 0; j < 10; ++j) {
        const int o = 2 * B * p + (j / 2) * 4 * B + (j & 1) * 3 * B;
        x[j] = r->delay + (o >= 20 * B ? o - 20 * B : o);
    }
    [&]<int... G>(std::integer_sequence<int, G...>) __attribute__((always_inline)) {
        (store4(pDst + 4 * G, windowSum<10, B, W, 4 * G, 4 * G + 4 == B>(x, 4 * G)), ...);
    }(std::make_integer_sequence<int, B / 4>{});
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
    Folded<64> z;
    foldComplex(pSrc, nullptr, z);
    modulate(z, r->delay + 128 * r->pos);
    windowSlot<64, kWin640>(r, pDst);
    return okvOk;
}

StatusCode okvsSynthesisFilter_SBRLP_32s(const Okv32s* pSrc, Okv32s* pDst, void* pSpec) {
    if (const StatusCode s = check(pSrc, pDst, pSpec, kSynthesisLP, kSynthesisLP)) return s;
    Record* r = headerAt(pSpec)->rec;
    modulateReal<64>(pSrc, r->delay + 128 * r->pos);
    windowSlot<64, kWin640>(r, pDst);
    return okvOk;
}

StatusCode okvsSynthesisDownFilter_SBRHQ_32sc32s(const Okv32sc* pSrc, Okv32s* pDst, void* pSpec) {
    if (const StatusCode s = check(pSrc, pDst, pSpec, kDownHQ, kSynthesisHQ)) return s;
    Record* r = headerAt(pSpec)->rec;
    Folded<32> z;
    foldComplex(pSrc, &kTab.dnHQ, z);
    modulate(z, r->delay + 64 * r->pos);
    windowSlot<32, kWin320>(r, pDst);
    return okvOk;
}

StatusCode okvsSynthesisDownFilter_SBRLP_32s(const Okv32s* pSrc, Okv32s* pDst, void* pSpec) {
    if (const StatusCode s = check(pSrc, pDst, pSpec, kDownLP, kSynthesisLP)) return s;
    Record* r = headerAt(pSpec)->rec;
    modulateReal<32>(pSrc, r->delay + 64 * r->pos);
    windowSlot<32, kWin320>(r, pDst);
    return okvOk;
}

}  // namespace OKV_NS
