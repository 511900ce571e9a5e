// Test helpers of the SBR exports: a null-argument sweep; for the float QMF banks, one runner
// for the nine export forms over a uniform layout (per slot: analysis 32 samples in, 32 bands
// out; synthesis B bands in, B samples out; complex values interleaved re, im) and a
// double-precision model of the defining sums.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "okvac.h"
#include "sbr/qmf_window_data.h"
#include "transform/fft_ref.h"

namespace qmftest {

// fn(p...) with each pointer in turn null: the index of the first such call not refused with
// okvErrNullPtr, or -1.
template <class F, class... P>
int firstNullNotRefused(F fn, P... p) {
    return [&]<size_t... I>(std::index_sequence<I...>) {
        for (size_t i = 0; i < sizeof...(P); ++i)
            if (fn((I == i ? P{} : p)...) != okvErrNullPtr) return int(i);
        return -1;
    }(std::index_sequence_for<P...>{});
}

enum Form { AnaC32f, AnaC32fc, AnaR, SynC32f, SynC32fc, SynR, DownC32f, DownC32fc, DownR };
constexpr Form kAllForms[] = {AnaC32f, AnaC32fc, AnaR, SynC32f, SynC32fc, SynR, DownC32f, DownC32fc, DownR};

inline bool isAnalysis(Form f) { return f <= AnaR; }
inline bool isComplex(Form f) { return f != AnaR && f != SynR && f != DownR; }
inline bool isSplit(Form f) { return f == AnaC32f || f == SynC32f || f == DownC32f; }
inline int bands(Form f) { return f >= SynC32f && f <= SynR ? 64 : 32; }
inline const float* window(Form f) { return bands(f) == 64 ? kOkvSbrQmfWindow640 : kOkvSbrQmfWindow320; }
inline int inPerSlot(Form f) { return isAnalysis(f) ? 32 : bands(f) * (isComplex(f) ? 2 : 1); }
inline int outPerSlot(Form f) { return isAnalysis(f) ? 32 * (isComplex(f) ? 2 : 1) : bands(f); }

// The nine float bank forms, in the order of Form: X(family, suffix).
#define SBR_QMF_FORMS(X)                                                                                           \
    X(AnalysisFilter, RToC_32f) X(AnalysisFilter, RToC_32f32fc) X(AnalysisFilter, RToR_32f)                        \
    X(SynthesisFilter, CToR_32f) X(SynthesisFilter, CToR_32fc32f) X(SynthesisFilter, RToR_32f)                     \
    X(SynthesisDownFilter, CToR_32f) X(SynthesisDownFilter, CToR_32fc32f) X(SynthesisDownFilter, RToR_32f)
#define SBR_QMF_GETSIZE(K, F) okvs##K##GetSize_SBR_##F,
#define SBR_QMF_INIT(K, F) okvs##K##Init_SBR_##F,
constexpr StatusCode (*kGetSize[])(int*, int*, int*) = {SBR_QMF_FORMS(SBR_QMF_GETSIZE)};
constexpr StatusCode (*kInit[])(SBRQMFSpec_32f**, Okv8u*, Okv8u*) = {SBR_QMF_FORMS(SBR_QMF_INIT)};

using xref::noise;

// A bank built in caller memory at a chosen misalignment of pMem; the bytes start as NaN
// patterns, so that a float Init leaves unset and a filter reads shows in the output.
struct Bank {
    Form form;
    std::vector<uint8_t> mem, init, work;
    SBRQMFSpec_32f* spec = nullptr;
    explicit Bank(Form f, int memOffset = 0) : form(f) {
        int s = 0, i = 0, w = 0;
        kGetSize[f](&s, &i, &w);
        mem.assign(size_t(s + memOffset), 0xFF), init.assign(size_t(i), 0xFF), work.assign(size_t(w), 0xFF);
        kInit[f](&spec, mem.data() + memOffset, init.data());
    }
};

// Arguments of one filtering call; a null in, out, spec or work, or nullWindow, passes null.
struct Call {
    const float* in;
    float* out;  // at least max(slots, 2) slots; refused calls must leave it as it was
    int slots, kx = 32;
    int shift = 0;  // window, source and destination copied to buffers misaligned by this many floats
    bool nullWindow = false;
};

// The status filter() gives when the call wrote outside the destination rows.
constexpr StatusCode kStrayWrite = -9999;

// One filtering call of form f; analysis rows start at pDst[2].
inline StatusCode filter(Form f, SBRQMFSpec_32f* spec, Okv8u* work, const Call& c) {
    const int n = outPerSlot(f), m = inPerSlot(f), sh = c.shift, off = 2;
    const size_t ns = size_t(std::max(c.slots, 2));
    std::vector<float> win(size_t(10 * bands(f)) + 4), src(m * ns + 4), dst(n * ns + 4, -7.5f);
    std::copy_n(window(f), 10 * bands(f), win.data() + sh);
    if (c.in) std::copy_n(c.in, m * ns, src.data() + sh);
    if (c.out) std::copy_n(c.out, n * ns, dst.data() + sh);
    float* d = c.out ? dst.data() + sh : nullptr;
    const float* s = c.in ? src.data() + sh : nullptr;
    const float* w = c.nullWindow ? nullptr : win.data() + sh;
    std::vector<float*> rows(ns + off), rowsIm(ns + off);
    std::vector<std::vector<float>> re(ns, std::vector<float>(64)), im = re;
    std::vector<const float*> cr(ns), ci(ns);
    const bool splitIn = isSplit(f) && !isAnalysis(f);
    for (size_t l = 0; l < ns; ++l) {
        for (int k = 0; k < 32 && f == AnaC32f && d; ++k) re[l][k] = d[n * l + 2 * k], im[l][k] = d[n * l + 2 * k + 1];
        for (int k = 0; k < m / 2 && splitIn && s; ++k) re[l][k] = s[m * l + 2 * k], im[l][k] = s[m * l + 2 * k + 1];
        rows[l + off] = f == AnaC32f ? re[l].data() : d ? d + n * l : nullptr;
        rowsIm[l + off] = im[l].data();
        cr[l] = splitIn ? re[l].data() : s ? s + m * l : nullptr;
        ci[l] = im[l].data();
    }
    float** dr = d ? rows.data() : nullptr;
    const float** sr = s ? cr.data() : nullptr;
    const float** si = s ? ci.data() : nullptr;
    const Okv32fc** cx = reinterpret_cast<const Okv32fc**>(sr);
    StatusCode st = okvOk;
    switch (f) {
    case AnaC32f:
        st = okvsAnalysisFilter_SBR_RToC_32f_D2L(s, dr, d ? rowsIm.data() : nullptr, w, c.slots, off, c.kx, spec, work);
        for (size_t l = 0; l < ns && d; ++l)
            for (int k = 0; k < 32; ++k) d[n * l + 2 * k] = re[l][k], d[n * l + 2 * k + 1] = im[l][k];
        break;
    case AnaC32fc:
        st = okvsAnalysisFilter_SBR_RToC_32f32fc_D2L(s, reinterpret_cast<Okv32fc**>(dr), w, c.slots, off, c.kx, spec, work);
        break;
    case AnaR: st = okvsAnalysisFilter_SBR_RToR_32f_D2L(s, dr, w, c.slots, off, c.kx, spec, work); break;
    case SynC32f: st = okvsSynthesisFilter_SBR_CToR_32f_D2L(sr, si, d, w, c.slots, spec, work); break;
    case SynC32fc: st = okvsSynthesisFilter_SBR_CToR_32fc32f_D2L(cx, d, w, c.slots, spec, work); break;
    case SynR: st = okvsSynthesisFilter_SBR_RToR_32f_D2L(sr, d, w, c.slots, spec, work); break;
    case DownC32f: st = okvsSynthesisDownFilter_SBR_CToR_32f_D2L(sr, si, d, w, c.slots, spec, work); break;
    case DownC32fc: st = okvsSynthesisDownFilter_SBR_CToR_32fc32f_D2L(cx, d, w, c.slots, spec, work); break;
    case DownR: st = okvsSynthesisDownFilter_SBR_RToR_32f_D2L(sr, d, w, c.slots, spec, work); break;
    }
    if (c.out) std::copy_n(d, n * ns, c.out);
    const auto guard = [](float v) { return v != -7.5f; };
    return std::any_of(dst.begin(), dst.begin() + sh, guard) || std::any_of(dst.end() + sh - 4, dst.end(), guard) ? kStrayWrite : st;
}

inline StatusCode run(Bank& b, const float* in, int slots, float* out, int kx = 32, int shift = 0) {
    return filter(b.form, b.spec, b.work.data(), Call{in, out, slots, kx, shift});
}

// Double-precision model of one bank: delay line, window taps and modulation sums as defined.
class Model {
public:
    explicit Model(Form f) : f_(f), line_(isAnalysis(f) ? 320 : 20 * bands(f), 0.0) {}
    void step(const float* in, double* out) {
        const int B = bands(f_), L = int(line_.size());
        const bool cplx = isComplex(f_);
        const float* w = window(f_);
        if (isAnalysis(f_)) {
            for (int k = 0; k < 32; ++k) line_[p_ + k] = in[31 - k];
            double u[64] = {};
            for (int i = 0; i < 64; ++i)
                for (int j = 0; j < 5; ++j) u[i] += double(w[i + 64 * j]) * line_[(p_ + i + 64 * j) % 320];
            for (int k = 0; k < 32; ++k) {
                double re = 0, im = 0;
                for (int n = 0; n < 64; ++n) {
                    const double a = M_PI / 64 * (k + 0.5) * (2 * n - (cplx ? 0.5 : 96));
                    re += u[n] * 2 * std::cos(a), im += u[n] * 2 * std::sin(a);
                }
                out[cplx ? 2 * k : k] = re;
                if (cplx) out[2 * k + 1] = im;
            }
        } else {
            for (int n = 0; n < 2 * B; ++n) {
                double v = 0;
                for (int k = 0; k < B; ++k) {
                    const double re = cplx ? in[2 * k] : in[k], im = cplx ? in[2 * k + 1] : 0;
                    const double a = M_PI / (2 * B) * (k + 0.5) * (2 * n - (cplx ? 4 * B - (B == 64 ? 1 : 0.5) : B));
                    v += cplx ? (re * std::cos(a) - im * std::sin(a)) / 64 : re * std::cos(a) / 32;
                }
                line_[p_ + n] = v;
            }
            for (int n = 0; n < B; ++n) {
                out[n] = 0;
                for (int j = 0; j < 10; ++j)
                    out[n] += double(w[n + B * j]) * line_[(p_ + n + (j / 2) * 4 * B + (j & 1) * 3 * B) % L];
            }
        }
        const int step = isAnalysis(f_) ? 32 : 2 * B;
        p_ = p_ == 0 ? L - step : p_ - step;
    }

private:
    Form f_;
    std::vector<double> line_;
    int p_ = 0;
};

// Numbers of a shared table file (comment lines skipped); empty when absent.
inline std::vector<double> readTable(const std::string& rel) {
    std::ifstream f(std::string(OKV_SHARED_DIR) + "/tables/" + rel);
    std::vector<double> v;
    for (std::string line; std::getline(f, line);)
        if (!line.empty() && line[0] != '#') v.push_back(std::stod(line));
    return v;
}

}  // namespace qmftest
