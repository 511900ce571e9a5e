// Fixed-point QMF banks: windowing to the bit on preloaded delay lines, accuracy against the
// float banks and their chains, the lifecycle, argument checks and the Q30 window tables.
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <random>

#include "qmf_test_util.h"

using namespace qmftest;

namespace {

enum Kind { Ana, Syn, Down };
struct FixedForm {
    const char* name;
    Kind kind;
    bool complex;
    Form twin;
    Okv32u id;
    int size, lineValues;
    StatusCode (*getSize)(int*);
    StatusCode (*init)(void*);
    StatusCode (*initAlloc)(void**);
    StatusCode (*release)(void*);
};

const FixedForm kForms[] = {
    {"AnaHQ", Ana, true, AnaC32fc, 0x434D4161, 1343, 320, okvsAnalysisFilterGetSize_SBRHQ_32s32sc,
     okvsAnalysisFilterInit_SBRHQ_32s32sc, okvsAnalysisFilterInitAlloc_SBRHQ_32s32sc,
     okvsAnalysisFilterFree_SBRHQ_32s32sc},
    {"AnaLP", Ana, false, AnaR, 0x434D4162, 1343, 320, okvsAnalysisFilterGetSize_SBRLP_32s,
     okvsAnalysisFilterInit_SBRLP_32s, okvsAnalysisFilterInitAlloc_SBRLP_32s, okvsAnalysisFilterFree_SBRLP_32s},
    {"SynHQ", Syn, true, SynC32fc, 0x434D4163, 5183, 1280, okvsSynthesisFilterGetSize_SBRHQ_32sc32s,
     okvsSynthesisFilterInit_SBRHQ_32sc32s, okvsSynthesisFilterInitAlloc_SBRHQ_32sc32s,
     okvsSynthesisFilterFree_SBRHQ_32sc32s},
    {"SynLP", Syn, false, SynR, 0x434D4164, 5183, 1280, okvsSynthesisFilterGetSize_SBRLP_32s,
     okvsSynthesisFilterInit_SBRLP_32s, okvsSynthesisFilterInitAlloc_SBRLP_32s, okvsSynthesisFilterFree_SBRLP_32s},
    {"DownHQ", Down, true, DownC32fc, 0x434D4165, 2623, 640, okvsSynthesisDownFilterGetSize_SBRHQ_32sc32s,
     okvsSynthesisDownFilterInit_SBRHQ_32sc32s, okvsSynthesisDownFilterInitAlloc_SBRHQ_32sc32s,
     okvsSynthesisDownFilterFree_SBRHQ_32sc32s},
    {"DownLP", Down, false, DownR, 0x434D4166, 2623, 640, okvsSynthesisDownFilterGetSize_SBRLP_32s,
     okvsSynthesisDownFilterInit_SBRLP_32s, okvsSynthesisDownFilterInitAlloc_SBRLP_32s,
     okvsSynthesisDownFilterFree_SBRLP_32s},
};
const FixedForm& form(const char* name) {
    for (const FixedForm& f : kForms)
        if (std::string(f.name) == name) return f;
    throw std::runtime_error(name);
}

// Values in and out per slot, complex values counting two.
int inCount(const FixedForm& f) { return f.kind == Ana ? 32 : (f.kind == Syn ? 64 : 32) * (f.complex ? 2 : 1); }
int outCount(const FixedForm& f) { return f.kind == Ana ? 32 * (f.complex ? 2 : 1) : (f.kind == Syn ? 64 : 32); }

StatusCode filter(const FixedForm& f, const Okv32s* in, Okv32s* out, int kx, void* spec) {
    const auto* cin = reinterpret_cast<const Okv32sc*>(in);
    switch (f.kind) {
    case Ana:
        return f.complex ? okvsAnalysisFilter_SBRHQ_32s32sc(in, reinterpret_cast<Okv32sc*>(out), kx, spec)
                         : okvsAnalysisFilter_SBRLP_32s(in, out, kx, spec);
    case Syn:
        return f.complex ? okvsSynthesisFilter_SBRHQ_32sc32s(cin, out, spec) : okvsSynthesisFilter_SBRLP_32s(in, out, spec);
    default:
        return f.complex ? okvsSynthesisDownFilter_SBRHQ_32sc32s(cin, out, spec)
                         : okvsSynthesisDownFilter_SBRLP_32s(in, out, spec);
    }
}

// A structure in a vector at a chosen misalignment; `base` is the aligned structure.
struct Fixed {
    const FixedForm& f;
    std::vector<uint8_t> mem;
    void* handle;
    uint8_t* base;
    Fixed(const FixedForm& form, int offset = 3) : f(form), mem(size_t(form.size) + 16) {
        handle = mem.data() + offset;
        base = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(handle) + 15) & ~uintptr_t{15});
        EXPECT_EQ(f.init(handle), okvOk);
    }
    Okv32s* line() { return reinterpret_cast<Okv32s*>(base + 48); }
    Okv32s& pos() { return *reinterpret_cast<Okv32s*>(base + 40); }
    std::vector<Okv32s> run(const std::vector<Okv32s>& in, int kx = 32) {
        const size_t slots = in.size() / inCount(f);
        std::vector<Okv32s> out(slots * outCount(f));
        for (size_t l = 0; l < slots; ++l)
            EXPECT_EQ(filter(f, &in[l * inCount(f)], &out[l * outCount(f)], kx, handle), okvOk);
        return out;
    }
};

// The float twin over the same values.
std::vector<double> runFloat(Form twin, const std::vector<double>& in) {
    std::vector<float> fin(in.begin(), in.end());
    const int slots = int(in.size()) / inPerSlot(twin);
    std::vector<float> out(size_t(outPerSlot(twin)) * slots);
    Bank b(twin);
    EXPECT_EQ(run(b, fin.data(), slots, out.data()), okvOk);
    return {out.begin(), out.end()};
}

double snrDb(const std::vector<double>& ref, const std::vector<double>& got) {
    double e = 0, r = 0;
    for (size_t i = 0; i < ref.size(); ++i) {
        e += (ref[i] - got[i]) * (ref[i] - got[i]);
        r += ref[i] * ref[i];
    }
    return e == 0 ? 999 : 10 * std::log10(r / e);
}

std::vector<double> scaled(const std::vector<Okv32s>& v, double s) {
    std::vector<double> d(v.size());
    for (size_t i = 0; i < v.size(); ++i) d[i] = v[i] * s;
    return d;
}

// Fixed bank against its float twin on the same values, output brought to the float scale.
double bankSnr(const FixedForm& f, const std::vector<Okv32s>& in) {
    Fixed b(f);
    const std::vector<Okv32s> got = b.run(in);
    return snrDb(runFloat(f.twin, {in.begin(), in.end()}), scaled(got, f.kind == Ana ? 16.0 : 1.0 / 16));
}

// Fixed analysis then synthesis against the float chain; the 64-band synthesis gets the 32
// analysis bands and 32 zero bands.
double chainSnr(const FixedForm& syn, const std::vector<Okv32s>& x) {
    const FixedForm& ana = form(syn.complex ? "AnaHQ" : "AnaLP");
    const int per = syn.complex ? 2 : 1, width = (syn.kind == Syn ? 64 : 32) * per;
    Fixed fa(ana), fs(syn);
    const std::vector<Okv32s> bands = fa.run(x);
    const std::vector<double> fbands = runFloat(ana.twin, {x.begin(), x.end()});
    const size_t slots = x.size() / 32;
    std::vector<Okv32s> in(slots * width, 0);
    std::vector<double> fin(in.size(), 0.0);
    for (size_t l = 0; l < slots; ++l)
        for (int i = 0; i < 32 * per; ++i) {
            in[l * width + i] = bands[l * 32 * per + i];
            fin[l * width + i] = fbands[l * 32 * per + i];
        }
    return snrDb(runFloat(syn.twin, fin), scaled(fs.run(in), 1.0));
}

// Full-scale sines across the band and squares at the stated analysis limit (|x| <= 2^27),
// through each bank and each chain: 90 dB.
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
                const double snr = f.kind == Ana ? bankSnr(f, x) : chainSnr(f, x);
                EXPECT_GE(snr, 90);
            }
        }
}

// Synthesis windowing to the bit: delay line preloaded through the documented layout with
// extreme and random values at every slot position, zero bands (the new block is then zero),
// output against the stated products and wrap-around sums; the position moves down one block.
// The downsampled banks run on their own structure and on a full-rate one.
TEST(SbrQmfFixed, SynthesisWindowingIsExact) {
    std::mt19937 g(3);
    const Okv32s extremes[] = {INT32_MIN, INT32_MAX, -1, 1 << 30};
    for (const char* name : {"SynHQ", "SynLP", "DownHQ", "DownLP"})
        for (bool onFullRate : {false, true}) {
            const FixedForm& f = form(name);
            if (onFullRate && f.kind != Down) continue;
            const FixedForm& host = onFullRate ? form(f.complex ? "SynHQ" : "SynLP") : f;
            const int B = f.kind == Syn ? 64 : 32, L = 20 * B;
            const int* w = B == 64 ? SBR_TABLE_QMF_WINDOW_640_INT_Q30 : SBR_TABLE_QMF_WINDOW_320_INT_Q30;
            for (int p = 0; p < 10; ++p) {
                Fixed b(host, p);
                b.pos() = p;
                std::vector<Okv32s> line(static_cast<size_t>(L));
                for (int i = 0; i < L; ++i) line[size_t(i)] = (g() & 3) ? extremes[g() % 4] : Okv32s(g());
                std::copy(line.begin(), line.end(), b.line());
                std::fill_n(line.begin() + 2 * B * p, 2 * B, 0);
                std::vector<Okv32s> in(static_cast<size_t>(inCount(f)), 0), out(static_cast<size_t>(B));
                ASSERT_EQ(filter(f, in.data(), out.data(), 32, b.handle), okvOk);
                for (int n = 0; n < B; ++n) {
                    Okv32u acc = 0;
                    for (int j = 0; j < 10; ++j) {
                        const int d = (j / 2) * 4 * B + (j & 1) * 3 * B;
                        acc += Okv32u((int64_t(w[n + B * j]) * line[size_t((2 * B * p + n + d) % L)]) >> 32);
                    }
                    ASSERT_EQ(out[size_t(n)], Okv32s(acc)) << name << " p " << p << " n " << n;
                }
                EXPECT_EQ(b.pos(), p ? p - 1 : 9);
                EXPECT_TRUE(std::equal(line.begin(), line.end(), b.line())) << name << " p " << p;
            }
        }
}

// Analysis: the position moves down first, the slot lands reversed in that block, nothing
// else in the line changes; the bands match the exactly windowed line through the defining
// sums (at 1/16 of the float scale) within the modulation's rounding, at every position,
// with the line and input at the limit.
TEST(SbrQmfFixed, AnalysisBlocksAndWindowing) {
    std::mt19937 g(9);
    for (const FixedForm& f : {form("AnaHQ"), form("AnaLP")})
        for (int p = 0; p < 10; ++p) {
            Fixed b(f, 15 - p);
            b.pos() = p;
            std::vector<Okv32s> line(320), x(32);
            for (Okv32s& v : line) v = (g() & 1) ? ((g() & 1) ? (1 << 27) : -(1 << 27)) : Okv32s(g()) >> 5;
            for (Okv32s& v : x) v = Okv32s(g()) >> 4;
            std::copy(line.begin(), line.end(), b.line());
            std::vector<Okv32s> out(size_t(outCount(f)));
            ASSERT_EQ(filter(f, x.data(), out.data(), 32, b.handle), okvOk);
            const int q = p ? p - 1 : 9;
            ASSERT_EQ(b.pos(), q);
            for (int m = 0; m < 32; ++m) line[size_t(32 * q + 31 - m)] = x[size_t(m)];
            ASSERT_TRUE(std::equal(line.begin(), line.end(), b.line())) << f.name << " p " << p;
            double u[64];
            for (int i = 0; i < 64; ++i) {
                Okv32u acc = 0;
                for (int j = 0; j < 5; ++j)
                    acc += Okv32u((int64_t(line[size_t((32 * q + i + 64 * j) % 320)]) *
                                   SBR_TABLE_QMF_WINDOW_320_INT_Q30[i + 64 * j]) >> 32);
                u[i] = Okv32s(acc);
            }
            for (int k = 0; k < 32; ++k) {
                double re = 0, im = 0;
                for (int n = 0; n < 64; ++n) {
                    const double a = M_PI / 64 * (k + 0.5) * (2 * n - (f.complex ? 0.5 : 96));
                    re += u[n] * 2 * std::cos(a) / 4;
                    im += u[n] * 2 * std::sin(a) / 4;
                }
                EXPECT_NEAR(out[size_t(k * (f.complex ? 2 : 1))], re, 16) << f.name << " p " << p << " k " << k;
                if (f.complex) {
                    EXPECT_NEAR(out[size_t(2 * k + 1)], im, 16) << f.name << " p " << p << " k " << k;
                }
            }
        }
}

// Zero in gives zero out from Init; kx = 0 clears the bands while the line advances exactly
// as with kx = 32 (the next slots agree).
TEST(SbrQmfFixed, ZeroInputAndBandLimit) {
    for (const FixedForm& f : kForms) {
        Fixed b(f);
        const std::vector<Okv32s> out = b.run(std::vector<Okv32s>(size_t(inCount(f)) * 25, 0));
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](Okv32s v) { return v == 0; })) << f.name;
    }
    std::mt19937 g(1);
    std::vector<Okv32s> x(32 * 14);
    for (Okv32s& v : x) v = Okv32s(g()) >> 6;
    for (const FixedForm& f : {form("AnaHQ"), form("AnaLP")})
        for (int kx : {0, 1, 31, 32}) {
            Fixed cut(f), full(f);
            const std::vector<Okv32s> head(x.begin(), x.begin() + 32 * 7), tail(x.begin() + 32 * 7, x.end());
            const std::vector<Okv32s> c = cut.run(head, kx), a = full.run(head, 32);
            const int per = f.complex ? 2 : 1;
            for (size_t i = 0; i < c.size(); ++i)
                ASSERT_EQ(c[i], int(i % (32 * per)) / per < kx ? a[i] : 0) << f.name << " kx " << kx << " " << i;
            EXPECT_EQ(cut.run(tail), full.run(tail)) << f.name << " kx " << kx;
        }
}

// GetSize, the layout Init writes at every misalignment (nothing outside the reported bytes),
// InitAlloc's flag, Free of Init structures writing nothing, Free of another bank's structure.
TEST(SbrQmfFixed, LifecycleAndLayout) {
    for (const FixedForm& f : kForms) {
        int size = 0;
        ASSERT_EQ(f.getSize(&size), okvOk);
        EXPECT_EQ(size, f.size) << f.name;
        for (int off = 0; off < 16; ++off) {
            std::vector<uint8_t> mem(size_t(size) + 32, 0xA5);
            uint8_t* h = mem.data() + 16 + off;
            ASSERT_EQ(f.init(h), okvOk);
            uint8_t* base = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(h) + 15) & ~uintptr_t{15});
            EXPECT_EQ(*reinterpret_cast<Okv32u*>(base), f.id);
            EXPECT_EQ(*reinterpret_cast<Okv32s*>(base + 40), 0);
            const Okv32s* line = reinterpret_cast<Okv32s*>(base + 48);
            EXPECT_TRUE(std::all_of(line, line + f.lineValues, [](Okv32s v) { return v == 0; }));
            for (uint8_t* q = mem.data(); q < h; ++q) ASSERT_EQ(*q, 0xA5);
            for (uint8_t* q = h + size; q < mem.data() + mem.size(); ++q) ASSERT_EQ(*q, 0xA5);
            const std::vector<uint8_t> before = mem;
            EXPECT_EQ(f.release(h), okvOk);
            EXPECT_EQ(mem, before) << f.name;
        }
        void* spec = nullptr;
        ASSERT_EQ(f.initAlloc(&spec), okvOk);
        const uint8_t* base = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(spec) + 15) & ~uintptr_t{15});
        EXPECT_EQ(*reinterpret_cast<const Okv32u*>(base + 16), 1u);
        for (const FixedForm& other : kForms)
            if (other.id != f.id) {
                EXPECT_EQ(other.release(spec), okvErrContextMatch) << f.name << " " << other.name;
            }
        EXPECT_EQ(f.release(spec), okvOk);
    }
}

// Bad arguments, per family, in the stated order: each gets the first failing check's status
// and leaves the output and the structure untouched.
TEST(SbrQmfFixed, BadArgumentsFailInOrder) {
    for (const FixedForm& f : kForms) {
        Fixed good(f), wrong(form(f.kind == Ana ? "SynHQ" : "AnaHQ"));
        std::vector<Okv32s> in(size_t(inCount(f)), 1 << 20);
        const int kxBad = f.kind == Ana ? 33 : 32;  // synthesis takes no kx
        struct Case {
            const char* what;
            const Okv32s* in;
            bool out;
            int kx;
            void* spec;
            StatusCode want;
        };
        const Case cases[] = {
            {"null input, bad kx, wrong bank", nullptr, true, kxBad, wrong.handle, okvErrNullPtr},
            {"null output", in.data(), false, 32, good.handle, okvErrNullPtr},
            {"null handle", in.data(), true, kxBad, nullptr, okvErrNullPtr},
            {"wrong bank before bad kx", in.data(), true, kxBad, wrong.handle, okvErrContextMatch},
            {"kx 33", in.data(), true, 33, good.handle, f.kind == Ana ? okvErrSize : okvOk},
            {"kx -1", in.data(), true, -1, good.handle, f.kind == Ana ? okvErrSize : okvOk},
        };
        for (const Case& c : cases) {
            std::vector<Okv32s> out(size_t(outCount(f)), 0x5A5A5A5A);
            const std::vector<uint8_t> g0 = good.mem, w0 = wrong.mem;
            const StatusCode s = filter(f, c.in, c.out ? out.data() : nullptr, c.kx, c.spec);
            EXPECT_EQ(s, c.want) << f.name << ": " << c.what;
            if (s == okvOk) continue;
            EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](Okv32s v) { return v == 0x5A5A5A5A; }));
            EXPECT_EQ(good.mem, g0);
            EXPECT_EQ(wrong.mem, w0);
        }
        EXPECT_EQ(f.getSize(nullptr), okvErrNullPtr);
        EXPECT_EQ(f.init(nullptr), okvErrNullPtr);
        EXPECT_EQ(f.initAlloc(nullptr), okvErrNullPtr);
        EXPECT_EQ(f.release(nullptr), okvErrNullPtr);
    }
    // A downsampled bank refuses the other form's full-rate structure.
    Fixed hq(form("SynHQ")), lp(form("SynLP"));
    std::vector<Okv32s> in(64, 0), out(32);
    EXPECT_EQ(okvsSynthesisDownFilter_SBRLP_32s(in.data(), out.data(), hq.handle), okvErrContextMatch);
    EXPECT_EQ(okvsSynthesisDownFilter_SBRHQ_32sc32s(reinterpret_cast<Okv32sc*>(in.data()), out.data(), lp.handle),
              okvErrContextMatch);
}

// The Q30 tables against the shared printed decimals, truncated toward zero in integers.
TEST(SbrQmfFixed, WindowTablesMatchSharedText) {
    std::ifstream f(sharedDir() + "/tables/sbr/qmf_window_640.txt");
    if (!f) GTEST_SKIP() << "shared QMF window table absent";
    std::vector<int64_t> q;
    for (std::string line; std::getline(f, line);) {
        if (line.empty() || line[0] == '#') continue;
        const bool neg = line[0] == '-';
        const size_t dot = line.find('.');
        ASSERT_EQ(line.size() - dot - 1, 10u) << line;
        const __int128 mant = std::stoll(line.substr(neg, dot - neg)) * 10000000000LL + std::stoll(line.substr(dot + 1));
        const int64_t t = int64_t((mant << 30) / 10000000000LL);  // magnitude, truncated
        q.push_back(neg ? -t : t);
    }
    ASSERT_EQ(q.size(), 640u);
    for (int n = 0; n < 640; ++n) {
        ASSERT_EQ(SBR_TABLE_QMF_WINDOW_640_INT_Q30[n], q[size_t(n)]) << n;
        if (n < 320) {
            ASSERT_EQ(SBR_TABLE_QMF_WINDOW_320_INT_Q30[n], q[size_t(2 * n)]) << n;
        }
    }
}

}  // namespace
