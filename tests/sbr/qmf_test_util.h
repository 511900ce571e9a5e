// SBR test helpers: for the float QMF banks one runner of the nine forms
// over a uniform interleaved layout, and a double-precision model of the defining sums.
#pragma once
#include <algorithm>
#include <fstream>
#include <string>

#include "core/null_args.h"
#include "okvac.h"
#include "sbr/qmf_window_data.h"
#include "transform/fft_ref.h"

namespace qmftest {

using xref::noise;
using nullargs::firstNullNotRefused;

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

// The nine filtering calls of a build (the exports, or one variant's bodies), by layout.
#define SBR_QMF_FILTERS(NS)                                                                                        \
    {NS okvsAnalysisFilter_SBR_RToC_32f_D2L, NS okvsAnalysisFilter_SBR_RToC_32f32fc_D2L,                           \
     NS okvsAnalysisFilter_SBR_RToR_32f_D2L,                                                                       \
     {NS okvsSynthesisFilter_SBR_CToR_32f_D2L, NS okvsSynthesisDownFilter_SBR_CToR_32f_D2L},                       \
     {NS okvsSynthesisFilter_SBR_CToR_32fc32f_D2L, NS okvsSynthesisDownFilter_SBR_CToR_32fc32f_D2L},               \
     {NS okvsSynthesisFilter_SBR_RToR_32f_D2L, NS okvsSynthesisDownFilter_SBR_RToR_32f_D2L}}
struct Filters {
    decltype(&okvsAnalysisFilter_SBR_RToC_32f_D2L) anaSplit;
    decltype(&okvsAnalysisFilter_SBR_RToC_32f32fc_D2L) anaC;
    decltype(&okvsAnalysisFilter_SBR_RToR_32f_D2L) anaR;
    decltype(&okvsSynthesisFilter_SBR_CToR_32f_D2L) synSplit[2];  // full rate, downsampled
    decltype(&okvsSynthesisFilter_SBR_CToR_32fc32f_D2L) synC[2];
    decltype(&okvsSynthesisFilter_SBR_RToR_32f_D2L) synR[2];
};
constexpr Filters kFilters = SBR_QMF_FILTERS(::);

// The status filter() gives when the call wrote past the destination.
constexpr StatusCode kStrayWrite = -9999;

// One call of form f over max(slots, 2) slots of in and out (either, and the window, may be
// null); analysis rows start at pDst[2]; split planes are converted from and to interleaved.
inline StatusCode filter(Form f, SBRQMFSpec_32f* spec, Okv8u* work, const float* s, float* out, int slots, int kx = 32,
                         bool withWindow = true, const Filters& fn = kFilters) {
    const int n = outPerSlot(f), m = inPerSlot(f), down = f >= DownC32f;
    const size_t ns = size_t(std::max(slots, 2));
    std::vector<float> dst(n * ns + 4, -7.5f), re(64 * ns), im(64 * ns);
    if (out) std::copy_n(out, n * ns, dst.begin());
    float* d = out ? dst.data() : nullptr;
    const float* w = withWindow ? window(f) : nullptr;
    std::vector<float*> rows(ns + 2), rowsIm(ns + 2);
    std::vector<const float*> sr(ns), si(ns);
    for (size_t l = 0; l < ns; ++l) {
        float *r = &re[64 * l], *i = &im[64 * l];
        for (int k = 0; k < 32 && f == AnaC32f && d; ++k) r[k] = d[n * l + 2 * k], i[k] = d[n * l + 2 * k + 1];
        for (int k = 0; k < m / 2 && isSplit(f) && f != AnaC32f && s; ++k) r[k] = s[m * l + 2 * k], i[k] = s[m * l + 2 * k + 1];
        rows[l + 2] = f == AnaC32f ? r : d ? d + n * l : nullptr, rowsIm[l + 2] = i;
        sr[l] = isSplit(f) ? r : s ? s + m * l : nullptr, si[l] = i;
    }
    float** dr = d ? rows.data() : nullptr;
    const float** ps = s ? sr.data() : nullptr;
    StatusCode st = okvOk;
    if (f == AnaC32f) st = fn.anaSplit(s, dr, d ? rowsIm.data() : nullptr, w, slots, 2, kx, spec, work);
    if (f == AnaC32fc) st = fn.anaC(s, reinterpret_cast<Okv32fc**>(dr), w, slots, 2, kx, spec, work);
    if (f == AnaR) st = fn.anaR(s, dr, w, slots, 2, kx, spec, work);
    if (f == SynC32f || f == DownC32f) st = fn.synSplit[down](ps, s ? si.data() : nullptr, d, w, slots, spec, work);
    if (f == SynC32fc || f == DownC32fc) st = fn.synC[down](reinterpret_cast<const Okv32fc**>(ps), d, w, slots, spec, work);
    if (f == SynR || f == DownR) st = fn.synR[down](ps, d, w, slots, spec, work);
    for (size_t l = 0; l < ns && f == AnaC32f && d; ++l)
        for (int k = 0; k < 32; ++k) d[n * l + 2 * k] = re[64 * l + k], d[n * l + 2 * k + 1] = im[64 * l + k];
    if (out) std::copy_n(d, n * ns, out);
    return std::any_of(dst.end() - 4, dst.end(), [](float v) { return v != -7.5f; }) ? kStrayWrite : st;
}

inline StatusCode run(Bank& b, const float* in, int slots, float* out, int kx = 32) {
    return filter(b.form, b.spec, b.work.data(), in, out, slots, kx);
}

// A fixed bank of a build (NS: the exports, or one variant's bodies): name, the float form of the same
// layout (its twin), structure size, lifecycle and one slot of filtering.
struct FixedBank {
    const char* name;
    Form twin;
    int size;
    StatusCode (*getSize)(int*);
    StatusCode (*init)(void*);
    StatusCode (*initAlloc)(void**);
    StatusCode (*release)(void*);
    StatusCode (*filter)(const Okv32s* in, Okv32s* out, int kx, void* spec);
};
// A fixed bank's structure starts at the caller's block rounded up to 16 bytes: identifier at 0,
// allocation flag at 16, slot position at 40, delay line from 48 to the end of the block.
constexpr size_t kFixedPos = 40, kFixedLine = 48;
inline uint8_t* fixedBase(void* block) {
    return reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(block) + 15) & ~uintptr_t{15});
}
#define SBR_FIXED_BANK(NS, twin, size, F, S, ...)                                                                  \
    {#F "_" #S, qmftest::twin, size, NS okvs##F##GetSize_##S, NS okvs##F##Init_##S, NS okvs##F##InitAlloc_##S,     \
     NS okvs##F##Free_##S, [](const Okv32s* in, Okv32s* out, [[maybe_unused]] int kx, void* s) {                    \
         return NS okvs##F##_##S(__VA_ARGS__);                                                                     \
     }}
#define SBR_CIN reinterpret_cast<const Okv32sc*>(in)
#define SBR_FIXED_BANKS(NS)                                                                                        \
    {SBR_FIXED_BANK(NS, AnaC32fc, 1343, AnalysisFilter, SBRHQ_32s32sc, in, reinterpret_cast<Okv32sc*>(out), kx, s), \
     SBR_FIXED_BANK(NS, AnaR, 1343, AnalysisFilter, SBRLP_32s, in, out, kx, s),                                    \
     SBR_FIXED_BANK(NS, SynC32fc, 5183, SynthesisFilter, SBRHQ_32sc32s, SBR_CIN, out, s),                          \
     SBR_FIXED_BANK(NS, SynR, 5183, SynthesisFilter, SBRLP_32s, in, out, s),                                       \
     SBR_FIXED_BANK(NS, DownC32fc, 2623, SynthesisDownFilter, SBRHQ_32sc32s, SBR_CIN, out, s),                     \
     SBR_FIXED_BANK(NS, DownR, 2623, SynthesisDownFilter, SBRLP_32s, in, out, s)}

// Double-precision model of one bank: delay line, window taps and modulation sums as defined.
class Model {
public:
    explicit Model(Form f) : f_(f), line_(isAnalysis(f) ? 320 : 20 * bands(f), 0.0) {}
    template <class T>
    void step(const T* in, double* out) {
        const int B = bands(f_), L = int(line_.size());
        const bool cplx = isComplex(f_), ana = isAnalysis(f_);
        const float* w = window(f_);
        if (ana) {
            for (int k = 0; k < 32; ++k) line_[p_ + k] = double(in[31 - k]);
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
                    const double re = double(cplx ? in[2 * k] : in[k]), im = cplx ? double(in[2 * k + 1]) : 0;
                    const double a = M_PI / (2 * B) * (k + 0.5) * (2 * n - (cplx ? 4 * B - (B == 64 ? 1 : 0.5) : B));
                    v += cplx ? (re * std::cos(a) - im * std::sin(a)) / 64 : re * std::cos(a) / 32;
                }
                line_[p_ + n] = v;
            }
            for (int n = 0; n < B; ++n) {
                out[n] = 0;
                for (int j = 0; j < 10; ++j) out[n] += double(w[n + B * j]) * line_[(p_ + n + (j / 2) * 4 * B + (j & 1) * 3 * B) % L];
            }
        }
        const int step = ana ? 32 : 2 * B;
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
