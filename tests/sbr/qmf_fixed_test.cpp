// Fixed-point QMF banks and their kernels, against exact formulas and the float banks.
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

// Q30 factors in [-2^30, 2^30] (negative only where allowed, range ends included) on extreme inputs.
template <int SH, int Neg>
void checkRotations(std::mt19937& g) {
    auto factor = [&](bool negative) {
        const Okv32s v = (g() & 7) ? Okv32s(g() % ((1u << 30) + 1)) : ((g() & 1) ? (1 << 30) : 0);
        return negative && (g() & 1) ? -v : v;
    };
    for (int round = 0; round < 4000; ++round) {
        Turn4 w{};
        alignas(16) Okv32s c[4], s[4], x[4], y[4], re[4], im[4];
        for (int n = 0; n < 4; ++n) {
            c[n] = factor(Neg & kNegC), s[n] = -factor(Neg & kNegT);  // t = -s
            setTurn(w, n, c[n], s[n], SH);
            x[n] = draw(g), y[n] = draw(g);
        }
        const Vec4c r = rotate4<SH, Neg>({load4a(x), load4a(y)}, w);
        store4a(re, r.re), store4a(im, r.im);
        for (int n = 0; n < 4; ++n)
            ASSERT_TRUE(re[n] == narrowed(int64_t(x[n]) * c[n] - int64_t(y[n]) * s[n], SH) &&
                        im[n] == narrowed(int64_t(x[n]) * s[n] + int64_t(y[n]) * c[n], SH)) << SH << " " << Neg << " " << n;
    }
}

TEST(SbrQmfFixedKernels, RotationsScalingAndConstantsAreExact) {
    std::mt19937 g(5);
    checkRotations<28, 0>(g), checkRotations<29, 0>(g), checkRotations<32, 0>(g);
    checkRotations<30, kNegC>(g), checkRotations<29, kNegC | kNegT>(g), checkRotations<30, kNegC | kNegT>(g);
    for (int round = 0; round < 4000; ++round) {
        alignas(16) Okv32s x[4], y[4];
        for (Okv32s& v : x) v = draw(g);
        store4a(y, mulPositive<30, kSqrtHalfQ30>(load4a(x)));
        for (int n = 0; n < 4; ++n) ASSERT_EQ(y[n], narrowed(int64_t(x[n]) * kSqrtHalfQ30, 30)) << x[n];
    }
    for (int i = -300; i <= 300; ++i)  // the Q30 constants round to nearest
        ASSERT_EQ(q30(std::sin(i * 0.01)), std::llround(std::sin(i * 0.01) * 0x1p30)) << i;
}

// Each fixed bank with the float form of the same layout (its twin) and its structure size.
struct FixedForm {
    const char* name;
    Form twin;
    int size;
    StatusCode (*getSize)(int*);
    StatusCode (*init)(void*);
    StatusCode (*initAlloc)(void**);
    StatusCode (*release)(void*);
};
#define FIXED_FORM(twin, size, F, S) \
    {#F #S, twin, size, okvs##F##GetSize_##S, okvs##F##Init_##S, okvs##F##InitAlloc_##S, okvs##F##Free_##S}
const FixedForm kForms[] = {
    FIXED_FORM(AnaC32fc, 1343, AnalysisFilter, SBRHQ_32s32sc), FIXED_FORM(AnaR, 1343, AnalysisFilter, SBRLP_32s),
    FIXED_FORM(SynC32fc, 5183, SynthesisFilter, SBRHQ_32sc32s), FIXED_FORM(SynR, 5183, SynthesisFilter, SBRLP_32s),
    FIXED_FORM(DownC32fc, 2623, SynthesisDownFilter, SBRHQ_32sc32s), FIXED_FORM(DownR, 2623, SynthesisDownFilter, SBRLP_32s),
};
#undef FIXED_FORM

StatusCode filter(const FixedForm& f, const Okv32s* in, Okv32s* out, int kx, void* spec) {
    const auto* cin = reinterpret_cast<const Okv32sc*>(in);
    const bool cplx = isComplex(f.twin);
    if (isAnalysis(f.twin))
        return cplx ? okvsAnalysisFilter_SBRHQ_32s32sc(in, reinterpret_cast<Okv32sc*>(out), kx, spec)
                    : okvsAnalysisFilter_SBRLP_32s(in, out, kx, spec);
    if (bands(f.twin) == 64)
        return cplx ? okvsSynthesisFilter_SBRHQ_32sc32s(cin, out, spec) : okvsSynthesisFilter_SBRLP_32s(in, out, spec);
    return cplx ? okvsSynthesisDownFilter_SBRHQ_32sc32s(cin, out, spec) : okvsSynthesisDownFilter_SBRLP_32s(in, out, spec);
}

// A structure at a chosen misalignment; `base` is the aligned structure: identifier at 0,
// allocation flag at 16, slot position at 40, delay line from 48.
struct Fixed {
    const FixedForm& f;
    std::vector<uint8_t> own;
    void* handle;
    uint8_t* base;
    Fixed(const FixedForm& form, int offset = 3, std::vector<uint8_t>* mem = nullptr) : f(form), own(size_t(form.size) + 16) {
        handle = (mem ? mem : &own)->data() + offset;
        base = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(handle) + 15) & ~uintptr_t{15});
        EXPECT_EQ(f.init(handle), okvOk);
    }
    Okv32s* line() { return reinterpret_cast<Okv32s*>(base + 48); }
    Okv32s& pos() { return *reinterpret_cast<Okv32s*>(base + 40); }
    std::vector<Okv32s> run(const std::vector<Okv32s>& in, int kx = 32) {
        const int ni = inPerSlot(f.twin), no = outPerSlot(f.twin);
        std::vector<Okv32s> out(in.size() / ni * no);
        for (size_t l = 0; l < in.size() / ni; ++l) EXPECT_EQ(filter(f, &in[l * ni], &out[l * no], kx, handle), okvOk);
        return out;
    }
};

double snrDb(const std::vector<float>& ref, const std::vector<Okv32s>& got, double scale) {
    double e = 0, r = 0;
    for (size_t i = 0; i < ref.size(); ++i) e += (ref[i] - got[i] * scale) * (ref[i] - got[i] * scale), r += ref[i] * ref[i];
    return e == 0 ? 999 : 10 * std::log10(r / e);
}

// Sines and squares at the analysis limit |x| <= 2^27: analysis against its float twin (at 1/16
// scale), synthesis of the fixed analysis against the float chain: 90 dB. Zero in gives zero out.
TEST(SbrQmfFixed, FullScaleSinesAndSquares) {
    for (double freq : {0.003, 0.0371, 0.2, 0.4617})
        for (bool square : {false, true}) {
            std::vector<Okv32s> x(32 * 300);
            for (size_t i = 0; i < x.size(); ++i) {
                const double s = std::sin(2 * M_PI * freq * double(i));
                x[i] = square ? (s >= 0 ? (1 << 27) : -(1 << 27)) : Okv32s(std::lround(s * ((1 << 27) - 1)));
            }
            for (const FixedForm& f : kForms) {
                SCOPED_TRACE(testing::Message() << f.name << " freq " << freq << " square " << square);
                const std::vector<Okv32s> zero = Fixed(f).run(std::vector<Okv32s>(size_t(inPerSlot(f.twin)) * 25, 0));
                EXPECT_EQ(zero, std::vector<Okv32s>(zero.size(), 0));
                const FixedForm& ana = kForms[isComplex(f.twin) ? 0 : 1];
                const int slots = int(x.size() / 32), width = inPerSlot(f.twin), per = outPerSlot(ana.twin);
                Fixed fa(ana), fs(f);
                const std::vector<Okv32s> sub = fa.run(x);
                std::vector<float> fx(x.begin(), x.end()), fsub(sub.size()), fin(size_t(slots) * width), fout(x.size() * 2);
                Bank fb(ana.twin), fsyn(f.twin);
                ASSERT_EQ(run(fb, fx.data(), slots, fsub.data()), okvOk);
                if (isAnalysis(f.twin)) {
                    EXPECT_GE(snrDb(fsub, sub, 16.0), 90);
                    continue;
                }
                std::vector<Okv32s> in(fin.size(), 0);
                for (int l = 0; l < slots; ++l)
                    for (int i = 0; i < per; ++i) in[l * width + i] = sub[l * per + i], fin[l * width + i] = fsub[l * per + i];
                ASSERT_EQ(run(fsyn, fin.data(), slots, fout.data()), okvOk);
                fout.resize(size_t(slots) * bands(f.twin));
                EXPECT_GE(snrDb(fout, fs.run(in), 1.0), 90);
            }
        }
}

// Extreme delay lines at every slot position and zero bands: output against the wrapped sums of
// products; downsampled banks also on a full-rate structure.
TEST(SbrQmfFixed, SynthesisWindowingIsExact) {
    std::mt19937 g(3);
    const Okv32s extremes[] = {INT32_MIN, INT32_MAX, -1, 1 << 30};
    for (int k = 2; k < 8; ++k) {
        const FixedForm &f = kForms[k < 6 ? k : k - 2], &host = kForms[k < 6 ? k : k - 4];
        const int B = bands(f.twin), L = 20 * B;
        const int* w = B == 64 ? SBR_TABLE_QMF_WINDOW_640_INT_Q30 : SBR_TABLE_QMF_WINDOW_320_INT_Q30;
        for (int p = 0; p < 10; ++p) {
            Fixed b(host, p);
            b.pos() = p;
            std::vector<Okv32s> line(static_cast<size_t>(L)), in(size_t(inPerSlot(f.twin)), 0), out(static_cast<size_t>(B));
            for (Okv32s& v : line) v = (g() & 3) ? extremes[g() % 4] : Okv32s(g());
            std::copy(line.begin(), line.end(), b.line());
            std::fill_n(line.begin() + 2 * B * p, 2 * B, 0);
            ASSERT_EQ(filter(f, in.data(), out.data(), 32, b.handle), okvOk);
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

// kx clears the bands from kx up while the line advances exactly as with kx = 32 (the next slots agree).
TEST(SbrQmfFixed, BandLimit) {
    std::mt19937 g(1);
    std::vector<Okv32s> x(32 * 14);
    for (Okv32s& v : x) v = Okv32s(g()) >> 6;
    const std::vector<Okv32s> head(x.begin(), x.begin() + 32 * 7), tail(x.begin() + 32 * 7, x.end());
    for (const FixedForm& f : {kForms[0], kForms[1]})
        for (int kx : {0, 1, 31, 32}) {
            Fixed cut(f), full(f);
            const std::vector<Okv32s> c = cut.run(head, kx), a = full.run(head, 32);
            const int per = isComplex(f.twin) + 1;
            for (size_t i = 0; i < c.size(); ++i) ASSERT_EQ(c[i], int(i % (32 * per)) / per < kx ? a[i] : 0) << f.name << kx;
            EXPECT_EQ(cut.run(tail), full.run(tail)) << f.name << " kx " << kx;
        }
}

// Init at every misalignment stays in its bytes, Free writes nothing; other Frees refuse an
// allocated structure; refusals in order, writing nothing, foreign full-rate structures included.
TEST(SbrQmfFixed, LifecycleAndRefusals) {
    for (Okv32u id = 0x434D4161; const FixedForm& f : kForms) {
        int size = 0;
        ASSERT_EQ(f.getSize(&size), okvOk);
        EXPECT_EQ(size, f.size) << f.name;
        for (int off = 0; off < 16; ++off) {
            std::vector<uint8_t> mem(size_t(size) + 32, 0xA5), before;
            Fixed b(f, 16 + off, &mem);
            EXPECT_TRUE(*reinterpret_cast<Okv32u*>(b.base) == id && b.pos() == 0);
            const int len = isAnalysis(f.twin) ? 320 : 20 * bands(f.twin);
            EXPECT_TRUE(std::all_of(b.line(), b.line() + len, [](Okv32s v) { return !v; }));
            for (int q = 0; q < int(mem.size()); ++q) ASSERT_TRUE(mem[q] == 0xA5 || (q >= 16 + off && q < 16 + off + size));
            before = mem;
            EXPECT_EQ(f.release(b.handle), okvOk);
            EXPECT_EQ(mem, before) << f.name;
        }
        ++id;
        void* spec = nullptr;
        ASSERT_EQ(f.initAlloc(&spec), okvOk);
        EXPECT_EQ(*reinterpret_cast<const Okv32u*>((reinterpret_cast<uintptr_t>(spec) + 15 + 16) & ~uintptr_t{15}), 1u);
        for (const FixedForm& o : kForms) EXPECT_TRUE(&o == &f || o.release(spec) == okvErrContextMatch) << o.name;
        EXPECT_EQ(f.release(spec), okvOk);

        const bool ana = isAnalysis(f.twin);
        Fixed good(f), wrong(kForms[ana ? 2 : 0]);
        std::vector<Okv32s> in(size_t(inPerSlot(f.twin)), 1 << 20), out(size_t(outPerSlot(f.twin)));
        const int kxBad = ana ? 33 : 32;  // synthesis takes no kx
        const std::tuple<const Okv32s*, Okv32s*, int, void*, StatusCode> cases[] = {
            {nullptr, out.data(), kxBad, wrong.handle, okvErrNullPtr}, {in.data(), nullptr, 32, good.handle, okvErrNullPtr},
            {in.data(), out.data(), kxBad, nullptr, okvErrNullPtr},
            {in.data(), out.data(), kxBad, wrong.handle, okvErrContextMatch},
            {in.data(), out.data(), 33, good.handle, ana ? okvErrSize : okvOk},
            {in.data(), out.data(), -1, good.handle, ana ? okvErrSize : okvOk},
        };
        for (size_t i = 0; i < std::size(cases); ++i) {
            const auto& [src, dst, kx, h, want] = cases[i];
            std::fill(out.begin(), out.end(), 0x5A5A5A5A);
            const std::vector<uint8_t> g0 = good.own, w0 = wrong.own;
            const StatusCode s = filter(f, src, dst, kx, h);
            EXPECT_EQ(s, want) << f.name << " case " << i;
            EXPECT_TRUE(s == okvOk || (out == std::vector<Okv32s>(out.size(), 0x5A5A5A5A) && good.own == g0 && wrong.own == w0));
        }
        EXPECT_TRUE(f.getSize(nullptr) == okvErrNullPtr && f.init(nullptr) == okvErrNullPtr);
        EXPECT_TRUE(f.initAlloc(nullptr) == okvErrNullPtr && f.release(nullptr) == okvErrNullPtr);
    }
    Fixed hq(kForms[2]), lp(kForms[3]);
    std::vector<Okv32s> in(64, 0), out(32);
    EXPECT_EQ(okvsSynthesisDownFilter_SBRLP_32s(in.data(), out.data(), hq.handle), okvErrContextMatch);
    const auto* cin = reinterpret_cast<Okv32sc*>(in.data());
    EXPECT_EQ(okvsSynthesisDownFilter_SBRHQ_32sc32s(cin, out.data(), lp.handle), okvErrContextMatch);
}

}  // namespace
