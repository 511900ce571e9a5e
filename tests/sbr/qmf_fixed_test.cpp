// Fixed-point QMF banks: windowing to the bit on preloaded delay lines, accuracy against the
// float banks and their chains, the lifecycle and layout, the refusals, the Q30 window tables,
// and InitAlloc when the allocator fails (this binary interposes okvMalloc and okvFree).
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <random>

#include "qmf_test_util.h"

using namespace qmftest;

namespace {
int gFailAt = 0;  // calls left until the failing one; 0 = pass everything through
int gLive = 0;    // blocks handed out and not yet released
}  // namespace

extern "C" void* okvMalloc(int32_t len) {
    static auto real = reinterpret_cast<void* (*)(int32_t)>(dlsym(RTLD_NEXT, "okvMalloc"));
    if (gFailAt > 0 && --gFailAt == 0) return nullptr;
    void* p = real(len);
    gLive += p != nullptr;
    return p;
}

extern "C" void okvFree(void* p) {
    static auto real = reinterpret_cast<void (*)(void*)>(dlsym(RTLD_NEXT, "okvFree"));
    gLive -= p != nullptr;
    real(p);
}

namespace {

enum Kind { Ana, Syn, Down };
struct FixedForm {
    const char* name;
    Kind kind;
    bool complex;
    Form twin;
    Okv32u id;
    int size;
    StatusCode (*getSize)(int*);
    StatusCode (*init)(void*);
    StatusCode (*initAlloc)(void**);
    StatusCode (*release)(void*);
};
#define FIXED_FORM(name, kind, cplx, twin, id, size, Family, suffix)                                               \
    {name, kind, cplx, twin, id, size, okvs##Family##GetSize_##suffix, okvs##Family##Init_##suffix,                \
     okvs##Family##InitAlloc_##suffix, okvs##Family##Free_##suffix}
const FixedForm kForms[] = {
    FIXED_FORM("AnaHQ", Ana, true, AnaC32fc, 0x434D4161, 1343, AnalysisFilter, SBRHQ_32s32sc),
    FIXED_FORM("AnaLP", Ana, false, AnaR, 0x434D4162, 1343, AnalysisFilter, SBRLP_32s),
    FIXED_FORM("SynHQ", Syn, true, SynC32fc, 0x434D4163, 5183, SynthesisFilter, SBRHQ_32sc32s),
    FIXED_FORM("SynLP", Syn, false, SynR, 0x434D4164, 5183, SynthesisFilter, SBRLP_32s),
    FIXED_FORM("DownHQ", Down, true, DownC32fc, 0x434D4165, 2623, SynthesisDownFilter, SBRHQ_32sc32s),
    FIXED_FORM("DownLP", Down, false, DownR, 0x434D4166, 2623, SynthesisDownFilter, SBRLP_32s),
};
#undef FIXED_FORM

// Values in and out per slot, complex values counting two; samples in the delay line.
int inCount(const FixedForm& f) { return f.kind == Ana ? 32 : (f.kind == Syn ? 64 : 32) * (f.complex ? 2 : 1); }
int outCount(const FixedForm& f) { return f.kind == Ana ? 32 * (f.complex ? 2 : 1) : (f.kind == Syn ? 64 : 32); }
int lineCount(const FixedForm& f) { return f.kind == Ana ? 320 : f.kind == Syn ? 1280 : 640; }

StatusCode filter(const FixedForm& f, const Okv32s* in, Okv32s* out, int kx, void* spec) {
    const auto* cin = reinterpret_cast<const Okv32sc*>(in);
    switch (f.kind) {
    case Ana:
        return f.complex ? okvsAnalysisFilter_SBRHQ_32s32sc(in, reinterpret_cast<Okv32sc*>(out), kx, spec)
                         : okvsAnalysisFilter_SBRLP_32s(in, out, kx, spec);
    case Syn: return f.complex ? okvsSynthesisFilter_SBRHQ_32sc32s(cin, out, spec) : okvsSynthesisFilter_SBRLP_32s(in, out, spec);
    default:
        return f.complex ? okvsSynthesisDownFilter_SBRHQ_32sc32s(cin, out, spec)
                         : okvsSynthesisDownFilter_SBRLP_32s(in, out, spec);
    }
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
        const size_t slots = in.size() / inCount(f);
        std::vector<Okv32s> out(slots * outCount(f));
        for (size_t l = 0; l < slots; ++l) EXPECT_EQ(filter(f, &in[l * inCount(f)], &out[l * outCount(f)], kx, handle), okvOk);
        return out;
    }
};

// The float twin over the same values.
std::vector<double> runFloat(Form twin, const std::vector<double>& in) {
    const std::vector<float> fin(in.begin(), in.end());
    const int slots = int(in.size()) / inPerSlot(twin);
    std::vector<float> out(size_t(outPerSlot(twin)) * slots);
    Bank b(twin);
    EXPECT_EQ(run(b, fin.data(), slots, out.data()), okvOk);
    return {out.begin(), out.end()};
}

double snrDb(const std::vector<double>& ref, const std::vector<Okv32s>& got, double scale) {
    double e = 0, r = 0;
    for (size_t i = 0; i < ref.size(); ++i) e += (ref[i] - got[i] * scale) * (ref[i] - got[i] * scale), r += ref[i] * ref[i];
    return e == 0 ? 999 : 10 * std::log10(r / e);
}

// Full-scale sines across the band and squares at the stated analysis limit (|x| <= 2^27):
// each analysis bank against its float twin (at 1/16 of its scale) and each synthesis bank
// after the fixed analysis against the float chain (32 analysis bands, the rest zero): 90 dB.
TEST(SbrQmfFixed, FullScaleSinesAndSquares) {
    for (double freq : {0.003, 0.0371, 0.2, 0.4617})
        for (bool square : {false, true}) {
            std::vector<Okv32s> x(32 * 300);
            for (size_t i = 0; i < x.size(); ++i) {
                const double s = std::sin(2 * M_PI * freq * double(i));
                x[i] = square ? (s >= 0 ? (1 << 27) : -(1 << 27)) : Okv32s(std::lround(s * ((1 << 27) - 1)));
            }
            const std::vector<double> xd(x.begin(), x.end());
            for (const FixedForm& f : kForms) {
                SCOPED_TRACE(testing::Message() << f.name << " freq " << freq << " square " << square);
                const FixedForm& ana = kForms[f.complex ? 0 : 1];
                Fixed fa(ana), fs(f);
                const std::vector<Okv32s> bands = fa.run(x);
                if (f.kind == Ana) {
                    EXPECT_GE(snrDb(runFloat(f.twin, xd), bands, 16.0), 90);
                    continue;
                }
                const std::vector<double> fbands = runFloat(ana.twin, xd);
                const int per = f.complex ? 2 : 1, width = (f.kind == Syn ? 64 : 32) * per;
                std::vector<Okv32s> in(x.size() / 32 * width, 0);
                std::vector<double> fin(in.size(), 0.0);
                for (size_t l = 0; l < x.size() / 32; ++l)
                    for (int i = 0; i < 32 * per; ++i)
                        in[l * width + i] = bands[l * 32 * per + i], fin[l * width + i] = fbands[l * 32 * per + i];
                EXPECT_GE(snrDb(runFloat(f.twin, fin), fs.run(in), 1.0), 90);
            }
        }
}

// Synthesis windowing to the bit: delay line preloaded with extreme and random values at every
// slot position, zero bands (the new block is then zero), output against the products and
// wrap-around sums; the position moves down one block. Downsampled banks also run on a
// full-rate structure.
TEST(SbrQmfFixed, SynthesisWindowingIsExact) {
    std::mt19937 g(3);
    const Okv32s extremes[] = {INT32_MIN, INT32_MAX, -1, 1 << 30};
    for (int k = 2; k < 6; ++k)
        for (bool onFullRate : {false, true}) {
            const FixedForm& f = kForms[k];
            if (onFullRate && f.kind != Down) continue;
            const FixedForm& host = onFullRate ? kForms[k - 2] : f;
            const int B = f.kind == Syn ? 64 : 32, L = 20 * B;
            const int* w = B == 64 ? SBR_TABLE_QMF_WINDOW_640_INT_Q30 : SBR_TABLE_QMF_WINDOW_320_INT_Q30;
            for (int p = 0; p < 10; ++p) {
                Fixed b(host, p);
                b.pos() = p;
                std::vector<Okv32s> line(static_cast<size_t>(L));
                for (Okv32s& v : line) v = (g() & 3) ? extremes[g() % 4] : Okv32s(g());
                std::copy(line.begin(), line.end(), b.line());
                std::fill_n(line.begin() + 2 * B * p, 2 * B, 0);
                std::vector<Okv32s> in(static_cast<size_t>(inCount(f)), 0), out(static_cast<size_t>(B));
                ASSERT_EQ(filter(f, in.data(), out.data(), 32, b.handle), okvOk);
                for (int n = 0; n < B; ++n) {
                    Okv32u acc = 0;
                    for (int j = 0; j < 10; ++j) {
                        const Okv32s v = line[size_t((2 * B * p + n + (j / 2) * 4 * B + (j & 1) * 3 * B) % L)];
                        acc += Okv32u((int64_t(w[n + B * j]) * v) >> 32);
                    }
                    ASSERT_EQ(out[size_t(n)], Okv32s(acc)) << f.name << " p " << p << " n " << n;
                }
                EXPECT_EQ(b.pos(), p ? p - 1 : 9);
                EXPECT_TRUE(std::equal(line.begin(), line.end(), b.line())) << f.name << " p " << p;
            }
        }
}

// Zero in gives zero out from Init; kx clears the bands from kx up while the line advances
// exactly as with kx = 32 (the next slots agree).
TEST(SbrQmfFixed, ZeroInputAndBandLimit) {
    for (const FixedForm& f : kForms) {
        const std::vector<Okv32s> out = Fixed(f).run(std::vector<Okv32s>(size_t(inCount(f)) * 25, 0));
        EXPECT_EQ(out, std::vector<Okv32s>(out.size(), 0)) << f.name;
    }
    std::mt19937 g(1);
    std::vector<Okv32s> x(32 * 14);
    for (Okv32s& v : x) v = Okv32s(g()) >> 6;
    const std::vector<Okv32s> head(x.begin(), x.begin() + 32 * 7), tail(x.begin() + 32 * 7, x.end());
    for (const FixedForm& f : {kForms[0], kForms[1]})
        for (int kx : {0, 1, 31, 32}) {
            Fixed cut(f), full(f);
            const std::vector<Okv32s> c = cut.run(head, kx), a = full.run(head, 32);
            const int per = f.complex ? 2 : 1;
            for (size_t i = 0; i < c.size(); ++i)
                ASSERT_EQ(c[i], int(i % (32 * per)) / per < kx ? a[i] : 0) << f.name << " kx " << kx << " " << i;
            EXPECT_EQ(cut.run(tail), full.run(tail)) << f.name << " kx " << kx;
        }
}

// GetSize; Init at every misalignment writes the identifier, a zero position and line and
// nothing outside the reported bytes; Free of it writes nothing; InitAlloc sets the allocation
// flag and its structure is refused by every other bank's Free.
TEST(SbrQmfFixed, LifecycleAndLayout) {
    for (const FixedForm& f : kForms) {
        int size = 0;
        ASSERT_EQ(f.getSize(&size), okvOk);
        EXPECT_EQ(size, f.size) << f.name;
        for (int off = 0; off < 16; ++off) {
            std::vector<uint8_t> mem(size_t(size) + 32, 0xA5), before;
            Fixed b(f, 16 + off, &mem);
            EXPECT_EQ(*reinterpret_cast<Okv32u*>(b.base), f.id);
            EXPECT_EQ(b.pos(), 0);
            EXPECT_TRUE(std::all_of(b.line(), b.line() + lineCount(f), [](Okv32s v) { return v == 0; }));
            for (size_t q = 0; q < mem.size(); ++q)
                ASSERT_TRUE(mem[q] == 0xA5 || (q >= size_t(16 + off) && q < size_t(16 + off + size)));
            before = mem;
            EXPECT_EQ(f.release(b.handle), okvOk);
            EXPECT_EQ(mem, before) << f.name;
        }
        void* spec = nullptr;
        ASSERT_EQ(f.initAlloc(&spec), okvOk);
        EXPECT_EQ(*reinterpret_cast<const Okv32u*>((reinterpret_cast<uintptr_t>(spec) + 15 + 16) & ~uintptr_t{15}), 1u);
        for (const FixedForm& other : kForms)
            EXPECT_TRUE(&other == &f || other.release(spec) == okvErrContextMatch) << other.name;
        EXPECT_EQ(f.release(spec), okvOk);
    }
}

// Each refusal in order gets the first failing check's status and leaves the output and both
// structures untouched; a downsampled bank refuses the other form's full-rate structure.
TEST(SbrQmfFixed, RefusalsInOrder) {
    for (const FixedForm& f : kForms) {
        Fixed good(f), wrong(kForms[f.kind == Ana ? 2 : 0]);
        std::vector<Okv32s> in(size_t(inCount(f)), 1 << 20);
        const bool ana = f.kind == Ana;
        const int kxBad = ana ? 33 : 32;  // synthesis takes no kx
        struct Case {
            const Okv32s* in;
            bool out;
            int kx;
            void* spec;
            StatusCode want;
        };
        const Case cases[] = {
            {nullptr, true, kxBad, wrong.handle, okvErrNullPtr},
            {in.data(), false, 32, good.handle, okvErrNullPtr},
            {in.data(), true, kxBad, nullptr, okvErrNullPtr},
            {in.data(), true, kxBad, wrong.handle, okvErrContextMatch},
            {in.data(), true, 33, good.handle, ana ? okvErrSize : okvOk},
            {in.data(), true, -1, good.handle, ana ? okvErrSize : okvOk},
        };
        for (size_t i = 0; i < std::size(cases); ++i) {
            const Case& c = cases[i];
            std::vector<Okv32s> out(size_t(outCount(f)), 0x5A5A5A5A);
            const std::vector<uint8_t> g0 = good.own, w0 = wrong.own;
            const StatusCode s = filter(f, c.in, c.out ? out.data() : nullptr, c.kx, c.spec);
            EXPECT_EQ(s, c.want) << f.name << " case " << i;
            if (s == okvOk) continue;
            EXPECT_EQ(out, std::vector<Okv32s>(out.size(), 0x5A5A5A5A));
            EXPECT_EQ(good.own, g0);
            EXPECT_EQ(wrong.own, w0);
        }
        EXPECT_EQ(f.getSize(nullptr), okvErrNullPtr);
        EXPECT_EQ(f.init(nullptr), okvErrNullPtr);
        EXPECT_EQ(f.initAlloc(nullptr), okvErrNullPtr);
        EXPECT_EQ(f.release(nullptr), okvErrNullPtr);
    }
    Fixed hq(kForms[2]), lp(kForms[3]);
    std::vector<Okv32s> in(64, 0), out(32);
    EXPECT_EQ(okvsSynthesisDownFilter_SBRLP_32s(in.data(), out.data(), hq.handle), okvErrContextMatch);
    EXPECT_EQ(okvsSynthesisDownFilter_SBRHQ_32sc32s(reinterpret_cast<Okv32sc*>(in.data()), out.data(), lp.handle),
              okvErrContextMatch);
}

// Every allocation an InitAlloc makes, failed in turn: okvErrMemAlloc, *ppSpec null, nothing
// left allocated; unarmed, the same call succeeds and Free releases it.
TEST(SbrQmfFixed, InitAllocFailureLeaksNothing) {
    for (const FixedForm& f : kForms) {
        gLive = 0;
        for (int n = 1;; ++n) {
            gFailAt = n;
            void* spec = nullptr;
            const StatusCode s = f.initAlloc(&spec);
            const bool failed = gFailAt == 0;
            gFailAt = 0;
            if (!failed) {
                ASSERT_EQ(s, okvOk);
                ASSERT_GE(n, 2) << "InitAlloc never reached the allocator";
                EXPECT_EQ(gLive, 1);
                EXPECT_EQ(f.release(spec), okvOk);
                EXPECT_EQ(gLive, 0);
                break;
            }
            EXPECT_EQ(s, okvErrMemAlloc) << f.name << " allocation " << n;
            EXPECT_EQ(spec, nullptr);
            EXPECT_EQ(gLive, 0);
        }
    }
}

}  // namespace
