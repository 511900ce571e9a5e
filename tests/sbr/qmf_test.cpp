// QMF banks. Float: the double model, call splits and forms, sizes and Init bounds, refusals. Fixed:
// kernels and windowing to the bit, the double model, lifecycle and refusals.
#include <gtest/gtest.h>

#include <tuple>

#include "qmf_test_util.h"
#include "sbr/qmf_fixed.h"

using namespace qmftest;
using namespace okv_u8::qmffx;

namespace {

// Bits sh .. sh + 31 of the exact value v + 2^(sh-1).
Okv32s narrowed(int64_t v, int sh) { return Okv32s(uint32_t(uint64_t(v + (int64_t{1} << (sh - 1))) >> sh)); }

Okv32s draw(std::mt19937& g) {
    static const Okv32s edges[] = {INT32_MIN, INT32_MIN + 1, -1, 0, 1, INT32_MAX};
    return (g() & 3) ? Okv32s(g()) : edges[g() % 6];
}

// Q30 factors in [-2^30, 2^30] (negative only where allowed, range ends included) on extreme inputs;
// the scaling by sqrt(1/2) in Q30 rounded to nearest.
template <int SH, int Neg>
void checkRotations(std::mt19937& g) {
    auto factor = [&](bool negative) {
        const Okv32s v = (g() & 7) ? Okv32s(g() % ((1u << 30) + 1)) : ((g() & 1) ? (1 << 30) : 0);
        return negative && (g() & 1) ? -v : v;
    };
    for (int round = 0; round < 4000; ++round) {
        Turn4 w{};
        alignas(16) Okv32s c[4], s[4], x[4], y[4], re[4], im[4], m[4];
        for (int n = 0; n < 4; ++n) {
            c[n] = factor(Neg & kNegC), s[n] = -factor(Neg & kNegT);  // t = -s
            setTurn(w, n, c[n], s[n], SH);
            x[n] = draw(g), y[n] = draw(g);
        }
        const Vec4c r = rotate4<SH, Neg>({load4a(x), load4a(y)}, w);
        store4a(re, r.re), store4a(im, r.im), store4a(m, mulPositive<30, kSqrtHalfQ30>(load4a(x)));
        for (int n = 0; n < 4; ++n)
            ASSERT_TRUE(re[n] == narrowed(int64_t(x[n]) * c[n] - int64_t(y[n]) * s[n], SH) &&
                        im[n] == narrowed(int64_t(x[n]) * s[n] + int64_t(y[n]) * c[n], SH) &&
                        m[n] == narrowed(int64_t(x[n]) * std::llround(M_SQRT1_2 * 0x1p30), 30)) << SH << " " << Neg << " " << n;
    }
}

TEST(SbrQmfFixedKernels, RotationsScalingAndConstantsAreExact) {
    std::mt19937 g(5);
    checkRotations<28, 0>(g), checkRotations<29, 0>(g), checkRotations<32, 0>(g);
    checkRotations<30, kNegC>(g), checkRotations<29, kNegC | kNegT>(g), checkRotations<30, kNegC | kNegT>(g);
    for (int i = -300; i <= 300; ++i)  // the Q30 constants round to nearest
        ASSERT_EQ(q30(std::sin(i * 0.01)), std::llround(std::sin(i * 0.01) * 0x1p30)) << i;
}

const FixedBank kForms[] = SBR_FIXED_BANKS(::);

// A structure at a chosen misalignment; `base` is the aligned structure.
struct Fixed {
    std::vector<uint8_t> own;
    void* handle;
    uint8_t* base;
    Fixed(const FixedBank& f, int offset = 3, std::vector<uint8_t>* mem = nullptr) : own(size_t(f.size) + 16) {
        handle = (mem ? mem : &own)->data() + offset;
        base = fixedBase(handle);
        EXPECT_EQ(f.init(handle), okvOk);
    }
    Okv32s* line() { return reinterpret_cast<Okv32s*>(base + kFixedLine); }
    Okv32s& pos() { return *reinterpret_cast<Okv32s*>(base + kFixedPos); }
};

// Sines and squares at the analysis limit |x| <= 2^27, analysis of the first half of the slots cut at
// kx: bands below kx at 1/16 of the model, those above zero; the rest (and every synthesis, fed the
// analysis output) within 125 dB of the model, so the line advanced alike. Zero in gives zero out.
TEST(SbrQmfFixed, FollowsTheDoubleModel) {
    for (double freq : {0.003, 0.0371, 0.2, 0.4617})
        for (bool square : {false, true}) {
            std::vector<Okv32s> x(32 * 300), sub[2];
            for (size_t i = 0; i < x.size(); ++i) {
                const double s = std::sin(2 * M_PI * freq * double(i));
                x[i] = square ? (s >= 0 ? (1 << 27) : -(1 << 27)) : Okv32s(std::lround(s * ((1 << 27) - 1)));
            }
            for (int i = 0; i < 6; ++i) {
                const FixedBank& f = kForms[i];
                SCOPED_TRACE(testing::Message() << f.name << " freq " << freq << " square " << square);
                const int ni = inPerSlot(f.twin), no = outPerSlot(f.twin), kx = int(freq * 69) + square;
                const int per = isAnalysis(f.twin) || !isComplex(f.twin) ? 32 : 64;
                const std::vector<Okv32s>& src = isAnalysis(f.twin) ? x : sub[i % 2];
                Fixed b(f), zero(f);
                Model m(f.twin);
                std::vector<Okv32s> in(static_cast<size_t>(ni)), out(static_cast<size_t>(no)), z(out.size(), 1);
                double e = 0, r = 0;
                for (int l = 0; l < 300; ++l) {
                    const int cut = isAnalysis(f.twin) && l < 150 ? kx : 32;
                    std::copy_n(&src[size_t(l * per)], per, in.data());
                    ASSERT_EQ(f.filter(in.data(), out.data(), cut, b.handle), okvOk);
                    ASSERT_EQ(f.filter(std::vector<Okv32s>(size_t(ni)).data(), z.data(), 32, zero.handle), okvOk);
                    ASSERT_EQ(z, std::vector<Okv32s>(size_t(no)));
                    double ref[128];
                    m.step(in.data(), ref);
                    for (int n = 0; n < no; ++n) {
                        const double want = isAnalysis(f.twin) ? ref[n] / 16 : ref[n] * 16;
                        const bool cleared = isAnalysis(f.twin) && n / (isComplex(f.twin) ? 2 : 1) >= cut;
                        ASSERT_TRUE(!cleared || out[size_t(n)] == 0) << l;
                        e += (want - out[size_t(n)]) * (want - out[size_t(n)]) * !cleared, r += want * want * !cleared;
                    }
                    if (isAnalysis(f.twin)) sub[i].insert(sub[i].end(), out.begin(), out.end());
                }
                EXPECT_GE(10 * std::log10(r / e), 125);
            }
        }
}

// Extreme delay lines at every slot position and zero bands: output against the wrapped sums of
// products; downsampled banks also on a full-rate structure.
TEST(SbrQmfFixed, SynthesisWindowingIsExact) {
    std::mt19937 g(3);
    const Okv32s extremes[] = {INT32_MIN, INT32_MAX, -1, 1 << 30};
    for (int k = 2; k < 8; ++k) {
        const FixedBank &f = kForms[k < 6 ? k : k - 2], &host = kForms[k < 6 ? k : k - 4];
        const int B = bands(f.twin), L = 20 * B;
        const int* w = B == 64 ? SBR_TABLE_QMF_WINDOW_640_INT_Q30 : SBR_TABLE_QMF_WINDOW_320_INT_Q30;
        for (int p = 0; p < 10; ++p) {
            Fixed b(host, p);
            b.pos() = p;
            std::vector<Okv32s> line(static_cast<size_t>(L)), in(size_t(inPerSlot(f.twin)), 0), out(static_cast<size_t>(B));
            for (Okv32s& v : line) v = (g() & 3) ? extremes[g() % 4] : Okv32s(g());
            std::copy(line.begin(), line.end(), b.line());
            std::fill_n(line.begin() + 2 * B * p, 2 * B, 0);
            ASSERT_EQ(f.filter(in.data(), out.data(), 32, b.handle), okvOk);
            for (int n = 0; n < B; ++n) {
                Okv32u acc = 0;
                for (int j = 0; j < 10; ++j)
                    acc += Okv32u((int64_t(w[n + B * j]) * line[(2 * B * p + n + (j / 2) * 4 * B + (j & 1) * 3 * B) % L]) >> 32);
                ASSERT_EQ(out[size_t(n)], Okv32s(acc)) << f.name << " p " << p << " n " << n;
            }
            EXPECT_TRUE(b.pos() == (p ? p - 1 : 9) && std::equal(line.begin(), line.end(), b.line())) << f.name << " p " << p;
        }
    }
}

// Init tags and clears the structure; other Frees refuse an allocated structure; refusals in order,
// writing nothing, foreign full-rate structures included.
TEST(SbrQmfFixed, LifecycleAndRefusals) {
    for (Okv32u id = 0x434D4161; const FixedBank& f : kForms) {
        int size = 0;
        EXPECT_TRUE(f.getSize(&size) == okvOk && size == f.size && f.getSize(nullptr) == okvErrNullPtr) << f.name;
        std::vector<uint8_t> mem(size_t(size) + 32, 0xA5);
        Fixed b(f, 16 + 5, &mem);
        const int len = isAnalysis(f.twin) ? 320 : 20 * bands(f.twin);
        EXPECT_TRUE(*reinterpret_cast<Okv32u*>(b.base) == id && b.pos() == 0);
        EXPECT_TRUE(std::all_of(b.line(), b.line() + len, [](Okv32s v) { return !v; }));
        EXPECT_EQ(f.release(b.handle), okvOk) << f.name;
        ++id;
        void* spec = nullptr;
        ASSERT_EQ(f.initAlloc(&spec), okvOk);
        EXPECT_EQ(*reinterpret_cast<const Okv32u*>((reinterpret_cast<uintptr_t>(spec) + 15 + 16) & ~uintptr_t{15}), 1u);
        for (const FixedBank& o : kForms) EXPECT_TRUE(&o == &f || o.release(spec) == okvErrContextMatch) << o.name;
        EXPECT_EQ(f.release(spec), okvOk);
        const bool ana = isAnalysis(f.twin);
        Fixed good(f), wrong(kForms[ana ? 2 : 0]);
        std::vector<Okv32s> in(size_t(inPerSlot(f.twin)), 1 << 20), out(size_t(outPerSlot(f.twin)));
        const int kxBad = ana ? 33 : 32;  // synthesis takes no kx
        const std::tuple<const Okv32s*, Okv32s*, int, void*, StatusCode> cases[] = {
            {nullptr, out.data(), kxBad, wrong.handle, okvErrNullPtr}, {in.data(), nullptr, 32, good.handle, okvErrNullPtr},
            {in.data(), out.data(), kxBad, nullptr, okvErrNullPtr}, {in.data(), out.data(), kxBad, wrong.handle, okvErrContextMatch},
            {in.data(), out.data(), 33, good.handle, ana ? okvErrSize : okvOk},
            {in.data(), out.data(), -1, good.handle, ana ? okvErrSize : okvOk},
        };
        for (size_t i = 0; i < std::size(cases); ++i) {
            const auto& [src, dst, kx, h, want] = cases[i];
            std::fill(out.begin(), out.end(), 0x5A5A5A5A);
            const std::vector<uint8_t> g0 = good.own, w0 = wrong.own;
            const StatusCode s = f.filter(src, dst, kx, h);
            EXPECT_EQ(s, want) << f.name << " case " << i;
            EXPECT_TRUE(s == okvOk || (out == std::vector<Okv32s>(out.size(), 0x5A5A5A5A) && good.own == g0 && wrong.own == w0));
        }
        EXPECT_TRUE(f.init(nullptr) == okvErrNullPtr && f.initAlloc(nullptr) == okvErrNullPtr && f.release(nullptr) == okvErrNullPtr);
    }
    Fixed hq(kForms[2]), lp(kForms[3]);
    std::vector<Okv32s> in(64, 0), out(32);
    EXPECT_EQ(okvsSynthesisDownFilter_SBRLP_32s(in.data(), out.data(), hq.handle), okvErrContextMatch);
    EXPECT_EQ(okvsSynthesisDownFilter_SBRHQ_32sc32s(reinterpret_cast<Okv32sc*>(in.data()), out.data(), lp.handle), okvErrContextMatch);
}

}  // namespace

// 240 random slots within 3e-6 RMS and 1e-5 peak of the model, bands from kx up zero; a call of
// a + b slots equals calls of a and b on a misaligned bank; split and interleaved forms agree.
TEST(SbrQmf, MatchesDoubleModelAcrossSplitsAndForms) {
    const int slots = 240;
    for (Form f : kAllForms)
        for (int kx : {0, 1, 17, 32}) {
            if (!isAnalysis(f) && kx != 32) continue;
            SCOPED_TRACE(testing::Message() << "form " << f << " kx " << kx);
            const int ni = inPerSlot(f), no = outPerSlot(f), per = isComplex(f) && isAnalysis(f) ? 2 : 1;
            const std::vector<float> in = noise(size_t(ni) * slots, 7 + f);
            Bank b(f), parts(f, 1 + f), other(isSplit(f) ? Form(f + 1) : f);
            std::vector<float> out(size_t(no) * slots, 5.0f), split(out), twin(out);  // every element written
            ASSERT_EQ(run(b, in.data(), slots, out.data(), kx), okvOk);
            const int a = 1 + kx / 2;
            ASSERT_EQ(run(parts, in.data(), a, split.data(), kx), okvOk);
            ASSERT_EQ(run(parts, &in[size_t(ni) * a], slots - a, &split[size_t(no) * a], kx), okvOk);
            EXPECT_EQ(split, out);
            EXPECT_TRUE(!isSplit(f) || (run(other, in.data(), slots, twin.data(), kx) == okvOk && twin == out));
            Model m(f);
            std::vector<double> ref(out.size());
            for (int l = 0; l < slots; ++l) m.step(&in[size_t(ni) * l], &ref[size_t(no) * l]);
            double e2 = 0, r2 = 0, emax = 0, rmax = 0;
            for (size_t i = 0; i < out.size(); ++i) {
                if (isAnalysis(f) && int(i % no) / per >= kx) {
                    ASSERT_EQ(out[i], 0.0f) << i;
                    continue;
                }
                e2 += (out[i] - ref[i]) * (out[i] - ref[i]), r2 += ref[i] * ref[i];
                emax = std::max(emax, std::fabs(out[i] - ref[i])), rmax = std::max(rmax, std::fabs(ref[i]));
            }
            EXPECT_LE(std::sqrt(e2), 3e-6 * std::sqrt(r2));
            EXPECT_LE(emax, 1e-5 * rmax);
        }
}

// The window against the shared table; sizes are the transform's plus K (5215 for the real
// synthesis). (The variant harness builds the banks at every pMem offset, checking the bytes around.)
TEST(SbrQmf, WindowSizesAndInitBounds) {
    const std::vector<double> c = readTable("sbr/qmf_window_640.txt");
    for (int n = 0; n < 640 && c.size() == 640; ++n)
        ASSERT_TRUE(kOkvSbrQmfWindow640[n] == float(c[n]) && (n >= 320 || kOkvSbrQmfWindow320[n] == float(c[2 * n]))) << n;
    const int k[] = {1359, 1359, 1359, 5199, 5199, 5215, 2639, 2639, 2639}, minSpec[] = {208, 208, 0, 208, 208, 0, 0, 0, 0};
    for (Form f : kAllForms) {
        int s, i, w;
        ASSERT_EQ(kGetSize[f](&s, &i, &w), okvOk);
        EXPECT_TRUE(s >= k[f] + minSpec[f] && (s - k[f]) % 16 == 0 && i >= 4 && w >= 4) << f;
        EXPECT_EQ(kGetSize[f](&s, &i, nullptr), okvErrNullPtr);
        std::vector<uint8_t> mem(size_t(s) + 16), init(size_t(i), 0);
        SBRQMFSpec_32f* spec = nullptr;
        EXPECT_EQ(kInit[f](nullptr, mem.data(), init.data()), okvErrNullPtr);
        EXPECT_EQ(kInit[f](&spec, mem.data(), nullptr), okvErrNullPtr);
    }
    if (c.size() != 640) GTEST_SKIP() << "shared QMF window table absent: window not compared";
}

// Refusals in each form's order, then empty and negative slot counts: output and structure
// unchanged. Split forms test the work buffer with the handle, the analysis one kx first.
TEST(SbrQmf, RefusalsInOrderWithoutSideEffects) {
    const std::vector<float> in(2 * 128, 0.25f);
    for (Form f : kAllForms) {
        Bank b(f), other(f == AnaR ? SynR : AnaR);
        struct Case {
            int spec, window, work, src, dst;  // 1: passed, 0: null, 2: another bank's spec
            int kx, slots;
            StatusCode want;
        };
        const StatusCode noWork = isSplit(f) ? okvErrNullPtr : okvErrContextMatch, nul = okvErrNullPtr, ok = okvOk;
        std::vector<Case> cases = {
            {0, 1, 1, 1, 1, 32, 2, nul}, {2, 0, 1, 1, 1, 32, 2, nul}, {2, 1, 1, 0, 1, 32, 2, okvErrContextMatch},
            {2, 1, 1, 1, 0, 32, 2, okvErrContextMatch}, {2, 1, 0, 1, 1, 32, 2, noWork}, {1, 1, 1, 0, 1, 32, 2, nul},
            {1, 1, 1, 1, 0, 32, 2, nul}, {1, 1, 0, 1, 1, 32, 2, nul}, {1, 1, 1, 1, 1, 32, 0, ok}, {1, 1, 1, 1, 1, 32, -5, ok},
        };
        if (isAnalysis(f))
            cases.insert(cases.end(), {{1, 1, 1, 1, 1, 33, 2, okvErrSize}, {1, 1, 1, 1, 1, -1, 2, okvErrSize},
                                       {1, 1, 1, 0, 1, 33, 2, f == AnaC32f ? okvErrSize : nul},
                                       {2, 1, 1, 1, 1, 33, 2, okvErrContextMatch}});
        for (const Case& c : cases) {
            const std::vector<uint8_t> mem = b.mem;
            std::vector<float> out(2 * 64, -7.0f);
            SBRQMFSpec_32f* spec = c.spec == 2 ? other.spec : c.spec ? b.spec : nullptr;
            const StatusCode st = filter(f, spec, c.work ? b.work.data() : nullptr, c.src ? in.data() : nullptr,
                                         c.dst ? out.data() : nullptr, c.slots, c.kx, c.window);
            EXPECT_TRUE(st == c.want && out == std::vector<float>(2 * 64, -7.0f) && mem == b.mem) << f << " " << &c - &cases[0];
        }
    }
}
