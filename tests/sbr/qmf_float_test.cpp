// Float QMF banks: the double model, call splits and forms, sizes and Init bounds, refusals.
#include <gtest/gtest.h>

#include "qmf_test_util.h"

using namespace qmftest;

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
// synthesis); Init at any pMem offset stays inside the reported bytes.
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
        for (int off = 0; off < 64; ++off) {
            std::vector<uint8_t> mem(size_t(s) + 128, 0xA5), init(size_t(i), 0);
            SBRQMFSpec_32f* spec = nullptr;
            ASSERT_EQ(kInit[f](&spec, mem.data() + 64 + off, init.data()), okvOk);
            for (size_t g = 0; g < mem.size(); ++g)
                ASSERT_TRUE(mem[g] == 0xA5 || (g >= size_t(64 + off) && g < size_t(64 + off + s))) << f << " " << off;
            EXPECT_EQ(kInit[f](nullptr, mem.data(), init.data()), okvErrNullPtr);
            EXPECT_EQ(kInit[f](&spec, mem.data(), nullptr), okvErrNullPtr);
        }
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
