// Float QMF banks: accuracy of every form against the double model, bit identity across
// paths, forms and call splits, the window table, and the lifecycle checks.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "qmf_test_util.h"

using namespace qmftest;

namespace {

const Form kAll[] = {AnaC32f, AnaC32fc, AnaR, SynC32f, SynC32fc, SynR, DownC32f, DownC32fc, DownR};

std::vector<float> noise(size_t n, unsigned seed) {
    std::mt19937 g(seed);
    std::uniform_real_distribution<float> d(-1, 1);
    std::vector<float> v(n);
    for (float& x : v) x = d(g);
    return v;
}

// Every form, 240 random slots, kx in {0, 1, 17, 32}: RMS error within 3e-6 of the reference
// RMS, largest error within 1e-5 of the reference peak; bands at and above kx exactly zero.
TEST(SbrQmf, MatchesDoubleModel) {
    const int slots = 240;
    for (Form f : kAll)
        for (int kx : {0, 1, 17, 32}) {
            if (!isAnalysis(f) && kx != 32) continue;
            SCOPED_TRACE(testing::Message() << "form " << f << " kx " << kx);
            const std::vector<float> in = noise(size_t(inPerSlot(f)) * slots, 7 + f);
            Bank b(f);
            ASSERT_EQ(b.status, okvOk);
            std::vector<float> out(size_t(outPerSlot(f)) * slots);
            ASSERT_EQ(run(b, in.data(), slots, out.data(), kx), okvOk);
            Model m(f);
            std::vector<double> ref(out.size());
            for (int l = 0; l < slots; ++l) m.step(&in[size_t(inPerSlot(f)) * l], &ref[size_t(outPerSlot(f)) * l]);
            const int per = isComplex(f) && isAnalysis(f) ? 2 : 1;
            double e2 = 0, r2 = 0, emax = 0, rmax = 0;
            for (size_t i = 0; i < out.size(); ++i) {
                const int band = int(i % outPerSlot(f)) / per;
                if (isAnalysis(f) && band >= kx) {
                    ASSERT_EQ(out[i], 0.0f) << i;
                    continue;
                }
                e2 += (out[i] - ref[i]) * (out[i] - ref[i]);
                r2 += ref[i] * ref[i];
                emax = std::max(emax, std::fabs(out[i] - ref[i]));
                rmax = std::max(rmax, std::fabs(ref[i]));
            }
            EXPECT_LE(std::sqrt(e2), 3e-6 * std::sqrt(r2));
            EXPECT_LE(emax, 1e-5 * rmax);
        }
}

// One call of a + b slots equals a call of a then one of b, with aligned or misaligned
// buffers and any pMem offset; the split and interleaved complex forms agree bit for bit.
TEST(SbrQmf, PathsFormsAndSplitsAreBitIdentical) {
    const int slots = 23;
    for (Form f : kAll) {
        SCOPED_TRACE(testing::Message() << "form " << f);
        const std::vector<float> in = noise(size_t(inPerSlot(f)) * slots, 3);
        const int kx = isAnalysis(f) ? 29 : 32;
        Bank whole(f);
        std::vector<float> ref(size_t(outPerSlot(f)) * slots);
        ASSERT_EQ(run(whole, in.data(), slots, ref.data(), kx), okvOk);
        for (int a : {1, 9, 10, 22})
            for (int shift : {0, 1, 3}) {
                Bank parts(f, 5 * shift);
                std::vector<float> out(ref.size());
                ASSERT_EQ(run(parts, in.data(), a, out.data(), kx, shift), okvOk);
                ASSERT_EQ(run(parts, &in[size_t(inPerSlot(f)) * a], slots - a, &out[size_t(outPerSlot(f)) * a], kx,
                              3 - shift),
                          okvOk);
                ASSERT_EQ(0, std::memcmp(out.data(), ref.data(), sizeof(float) * out.size())) << a << " " << shift;
            }
        if (f == AnaC32f || f == SynC32f || f == DownC32f) {
            Bank other(Form(f + 1));
            std::vector<float> out(ref.size());
            ASSERT_EQ(run(other, in.data(), slots, out.data(), kx), okvOk);
            EXPECT_EQ(0, std::memcmp(out.data(), ref.data(), sizeof(float) * out.size()));
        }
    }
}

TEST(SbrQmf, WindowTableMatchesSharedText) {
    const std::vector<double> c = readTable("sbr/qmf_window_640.txt");
    if (c.empty()) GTEST_SKIP() << "shared QMF window table absent";
    ASSERT_EQ(c.size(), 640u);
    for (int n = 0; n < 640; ++n) {
        ASSERT_EQ(kOkvSbrQmfWindow640[n], float(c[n])) << n;
        if (n < 320) {
            ASSERT_EQ(kOkvSbrQmfWindow320[n], float(c[2 * n])) << n;
        }
    }
}

// Sizes are the transform's plus K (5215 for the real synthesis); Init at any pMem offset
// stays inside the reported bytes.
TEST(SbrQmf, SizesAndInitStayInBounds) {
    const int k[] = {1359, 1359, 1359, 5199, 5199, 5215, 2639, 2639, 2639};
    const int minSpec[] = {208, 208, 0, 208, 208, 0, 0, 0, 0};
    for (Form f : kAll) {
        int s, i, w;
        ASSERT_EQ(getSizeOf(f)(&s, &i, &w), okvOk);
        EXPECT_GE(s, k[f] + minSpec[f]);
        EXPECT_EQ((s - k[f]) % 16, 0) << f;
        EXPECT_GE(i, 4);
        EXPECT_GE(w, 4);
        EXPECT_EQ(getSizeOf(f)(nullptr, &i, &w), okvErrNullPtr);
        EXPECT_EQ(getSizeOf(f)(&s, &i, nullptr), okvErrNullPtr);
        for (int off = 0; off < 64; ++off) {
            std::vector<uint8_t> mem(static_cast<size_t>(s) + 128, 0xA5), init(static_cast<size_t>(i));
            SBRQMFSpec_32f* spec = nullptr;
            ASSERT_EQ(initOf(f)(&spec, mem.data() + 64 + off, init.data()), okvOk);
            for (int g = 0; g < 64 + off; ++g) ASSERT_EQ(mem[g], 0xA5) << f << " " << off;
            for (size_t g = size_t(64 + off + s); g < mem.size(); ++g) ASSERT_EQ(mem[g], 0xA5) << f << " " << off;
        }
        SBRQMFSpec_32f* spec = nullptr;
        std::vector<uint8_t> mem(static_cast<size_t>(s)), init(static_cast<size_t>(i));
        EXPECT_EQ(initOf(f)(nullptr, mem.data(), init.data()), okvErrNullPtr);
        EXPECT_EQ(initOf(f)(&spec, nullptr, init.data()), okvErrNullPtr);
        EXPECT_EQ(initOf(f)(&spec, mem.data(), nullptr), okvErrNullPtr);
    }
}

}  // namespace
