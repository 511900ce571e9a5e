// Argument checks of the nine QMF filtering calls: each form's order, mismatched handles, and
// that a refused call or an empty one changes neither the output nor the structure.
#include <gtest/gtest.h>

#include "qmf_test_util.h"

using namespace qmftest;

namespace {

struct Args {
    bool spec = true, window = true, work = true, src = true, dst = true;
    int kx = 32, nLoop = 2;
};

// Calls the form's filtering export with the chosen arguments nulled; out receives the rows or
// samples of two slots.
StatusCode call(Form f, SBRQMFSpec_32f* spec, const Args& a, std::vector<float>& out, Okv8u* work) {
    static std::vector<float> in(2 * 128, 0.25f);
    float* rows[2] = {out.data(), out.data() + 128};
    float* rowsIm[2] = {out.data() + 256, out.data() + 384};
    const float* srcRows[2] = {in.data(), in.data() + 128};
    SBRQMFSpec_32f* s = a.spec ? spec : nullptr;
    const float* w = a.window ? window(f) : nullptr;
    Okv8u* wk = a.work ? work : nullptr;
    const float* src = a.src ? in.data() : nullptr;
    const float** sr = a.src ? srcRows : nullptr;
    float** dr = a.dst ? rows : nullptr;
    float* d = a.dst ? out.data() : nullptr;
    auto cx = [](const float** p) { return reinterpret_cast<const Okv32fc**>(p); };
    switch (f) {
    case AnaC32f: return okvsAnalysisFilter_SBR_RToC_32f_D2L(src, dr, a.dst ? rowsIm : nullptr, w, a.nLoop, 0, a.kx, s, wk);
    case AnaC32fc:
        return okvsAnalysisFilter_SBR_RToC_32f32fc_D2L(src, reinterpret_cast<Okv32fc**>(dr), w, a.nLoop, 0, a.kx, s, wk);
    case AnaR: return okvsAnalysisFilter_SBR_RToR_32f_D2L(src, dr, w, a.nLoop, 0, a.kx, s, wk);
    case SynC32f: return okvsSynthesisFilter_SBR_CToR_32f_D2L(sr, sr, d, w, a.nLoop, s, wk);
    case SynC32fc: return okvsSynthesisFilter_SBR_CToR_32fc32f_D2L(cx(sr), d, w, a.nLoop, s, wk);
    case SynR: return okvsSynthesisFilter_SBR_RToR_32f_D2L(sr, d, w, a.nLoop, s, wk);
    case DownC32f: return okvsSynthesisDownFilter_SBR_CToR_32f_D2L(sr, sr, d, w, a.nLoop, s, wk);
    case DownC32fc: return okvsSynthesisDownFilter_SBR_CToR_32fc32f_D2L(cx(sr), d, w, a.nLoop, s, wk);
    case DownR: return okvsSynthesisDownFilter_SBR_RToR_32f_D2L(sr, d, w, a.nLoop, s, wk);
    }
    return okvOk;
}

TEST(SbrQmfChecks, OrderAndNoSideEffects) {
    const Form all[] = {AnaC32f, AnaC32fc, AnaR, SynC32f, SynC32fc, SynR, DownC32f, DownC32fc, DownR};
    for (Form f : all) {
        SCOPED_TRACE(testing::Message() << "form " << f);
        Bank b(f), other(f == AnaR ? SynR : AnaR);
        ASSERT_EQ(b.status, okvOk);
        // Split-complex analysis and the split-complex synthesis forms test the work buffer
        // with the handle; the analysis split form tests kx before its data pointers.
        const bool workFirst = f == AnaC32f || f == SynC32f || f == DownC32f;
        struct Case {
            Args a;
            bool foreign;
            StatusCode want;
        };
        Args nullWindow, nullSrc, nullWork, nullSpec, badKx, badKxNullSrc, negKx, empty, negLoop, nullDst;
        nullWindow.window = false;
        nullSrc.src = false;
        nullWork.work = false;
        nullSpec.spec = false;
        nullDst.dst = false;
        badKx.kx = 33;
        negKx.kx = -1;
        badKxNullSrc.kx = 33;
        badKxNullSrc.src = false;
        empty.nLoop = 0;
        negLoop.nLoop = -5;
        const bool ana = isAnalysis(f);
        std::vector<Case> cases = {
            {nullSpec, false, okvErrNullPtr},
            {nullWindow, true, okvErrNullPtr},
            {nullSrc, true, okvErrContextMatch},
            {nullDst, true, okvErrContextMatch},
            {nullWork, true, workFirst ? okvErrNullPtr : okvErrContextMatch},
            {nullSrc, false, okvErrNullPtr},
            {nullDst, false, okvErrNullPtr},
            {nullWork, false, okvErrNullPtr},
        };
        if (ana) {
            cases.push_back({badKx, false, okvErrSize});
            cases.push_back({negKx, false, okvErrSize});
            cases.push_back({badKxNullSrc, false, f == AnaC32f ? okvErrSize : okvErrNullPtr});
            cases.push_back({badKx, true, okvErrContextMatch});
        }
        cases.push_back({empty, false, okvOk});
        cases.push_back({negLoop, false, okvOk});
        for (size_t i = 0; i < cases.size(); ++i) {
            const std::vector<uint8_t> mem = b.mem;
            std::vector<float> out(512, -7.0f);
            EXPECT_EQ(call(f, cases[i].foreign ? other.spec : b.spec, cases[i].a, out, b.work.data()), cases[i].want)
                << "case " << i;
            EXPECT_EQ(out, std::vector<float>(512, -7.0f)) << "case " << i;
            EXPECT_EQ(mem, b.mem) << "case " << i;
        }
        std::vector<float> out(512, -7.0f);
        EXPECT_EQ(call(f, b.spec, Args{}, out, b.work.data()), okvOk);
        EXPECT_NE(out, std::vector<float>(512, -7.0f));
    }
}

}  // namespace
