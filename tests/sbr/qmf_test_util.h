// Test helpers for the float QMF banks: one runner per export form over a uniform data layout,
// and double-precision models that evaluate the defining sums directly.
//
// Layouts: analysis input 32 samples per slot; analysis output 32 bands per slot, complex ones
// interleaved (re, im); synthesis input B bands per slot (complex interleaved); synthesis
// output B samples per slot (B = 64 full rate, 32 downsampled).
#pragma once
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "okvac.h"
#include "sbr/qmf_window_data.h"

namespace qmftest {

enum Form { AnaC32f, AnaC32fc, AnaR, SynC32f, SynC32fc, SynR, DownC32f, DownC32fc, DownR };

inline bool isAnalysis(Form f) { return f <= AnaR; }
inline bool isComplex(Form f) { return f != AnaR && f != SynR && f != DownR; }
inline int bands(Form f) { return f >= SynC32f && f <= SynR ? 64 : 32; }
inline const float* window(Form f) { return bands(f) == 64 ? kOkvSbrQmfWindow640 : kOkvSbrQmfWindow320; }
inline int inPerSlot(Form f) { return isAnalysis(f) ? 32 : bands(f) * (isComplex(f) ? 2 : 1); }
inline int outPerSlot(Form f) { return isAnalysis(f) ? 32 * (isComplex(f) ? 2 : 1) : bands(f); }

using GetSizeFn = StatusCode (*)(int*, int*, int*);
using InitFn = StatusCode (*)(SBRQMFSpec_32f**, Okv8u*, Okv8u*);

inline GetSizeFn getSizeOf(Form f) {
    static const GetSizeFn fns[] = {
        okvsAnalysisFilterGetSize_SBR_RToC_32f,           okvsAnalysisFilterGetSize_SBR_RToC_32f32fc,
        okvsAnalysisFilterGetSize_SBR_RToR_32f,           okvsSynthesisFilterGetSize_SBR_CToR_32f,
        okvsSynthesisFilterGetSize_SBR_CToR_32fc32f,      okvsSynthesisFilterGetSize_SBR_RToR_32f,
        okvsSynthesisDownFilterGetSize_SBR_CToR_32f,      okvsSynthesisDownFilterGetSize_SBR_CToR_32fc32f,
        okvsSynthesisDownFilterGetSize_SBR_RToR_32f};
    return fns[f];
}
inline InitFn initOf(Form f) {
    static const InitFn fns[] = {
        okvsAnalysisFilterInit_SBR_RToC_32f,           okvsAnalysisFilterInit_SBR_RToC_32f32fc,
        okvsAnalysisFilterInit_SBR_RToR_32f,           okvsSynthesisFilterInit_SBR_CToR_32f,
        okvsSynthesisFilterInit_SBR_CToR_32fc32f,      okvsSynthesisFilterInit_SBR_RToR_32f,
        okvsSynthesisDownFilterInit_SBR_CToR_32f,      okvsSynthesisDownFilterInit_SBR_CToR_32fc32f,
        okvsSynthesisDownFilterInit_SBR_RToR_32f};
    return fns[f];
}

// A bank built in caller memory at a chosen misalignment of pMem.
struct Bank {
    Form form;
    std::vector<uint8_t> mem, init, work;
    SBRQMFSpec_32f* spec = nullptr;
    StatusCode status;
    explicit Bank(Form f, int memOffset = 0) : form(f) {
        int s = 0, i = 0, w = 0;
        status = getSizeOf(f)(&s, &i, &w);
        mem.assign(size_t(s) + memOffset, 0xA5);  // Init must set every byte it later reads
        init.assign(size_t(i), 0xA5);
        work.assign(size_t(w), 0xA5);
        if (status == okvOk) status = initOf(f)(&spec, mem.data() + memOffset, init.data());
    }
};

// Runs `slots` slots of `in` through the bank in one filtering call; the window, source and
// destination are copied to buffers misaligned by `shift` floats. Returns the status.
inline StatusCode run(Bank& b, const float* in, int slots, float* out, int kx = 32, int shift = 0) {
    const Form f = b.form;
    const int wl = bands(f) == 64 ? 640 : 320;
    std::vector<float> win(size_t(wl) + 4), src(size_t(inPerSlot(f)) * slots + 4),
        dst(size_t(outPerSlot(f)) * slots + 4);
    std::memcpy(win.data() + shift, window(f), sizeof(float) * wl);
    std::memcpy(src.data() + shift, in, sizeof(float) * inPerSlot(f) * slots);
    float* d = dst.data() + shift;
    const float* s = src.data() + shift;
    const float* w = win.data() + shift;
    Okv8u* wk = b.work.data();
    StatusCode st = okvErrNullPtr;
    const int offset = 2;  // analysis rows start at pDst[offset]
    const int n = outPerSlot(f), m = inPerSlot(f);
    std::vector<float*> rows(size_t(slots) + offset, nullptr), rowsIm(size_t(slots) + offset, nullptr);
    std::vector<std::vector<float>> re(slots, std::vector<float>(64)), im(slots, std::vector<float>(64));
    std::vector<const float*> cr(slots), ci(slots);
    switch (f) {
    case AnaR:
    case AnaC32fc:
        for (int l = 0; l < slots; ++l) rows[size_t(l) + offset] = d + size_t(n) * l;
        st = f == AnaR ? okvsAnalysisFilter_SBR_RToR_32f_D2L(s, rows.data(), w, slots, offset, kx, b.spec, wk)
                       : okvsAnalysisFilter_SBR_RToC_32f32fc_D2L(s, reinterpret_cast<Okv32fc**>(rows.data()), w,
                                                                 slots, offset, kx, b.spec, wk);
        break;
    case AnaC32f:
        for (int l = 0; l < slots; ++l) {
            rows[size_t(l) + offset] = re[l].data();
            rowsIm[size_t(l) + offset] = im[l].data();
        }
        st = okvsAnalysisFilter_SBR_RToC_32f_D2L(s, rows.data(), rowsIm.data(), w, slots, offset, kx, b.spec, wk);
        for (int l = 0; l < slots; ++l)
            for (int k = 0; k < 32; ++k) {
                d[size_t(n) * l + 2 * k] = re[l][k];
                d[size_t(n) * l + 2 * k + 1] = im[l][k];
            }
        break;
    case SynC32f:
    case DownC32f:
        for (int l = 0; l < slots; ++l) {
            for (int k = 0; k < bands(f); ++k) {
                re[l][k] = s[size_t(m) * l + 2 * k];
                im[l][k] = s[size_t(m) * l + 2 * k + 1];
            }
            cr[l] = re[l].data();
            ci[l] = im[l].data();
        }
        st = f == SynC32f ? okvsSynthesisFilter_SBR_CToR_32f_D2L(cr.data(), ci.data(), d, w, slots, b.spec, wk)
                          : okvsSynthesisDownFilter_SBR_CToR_32f_D2L(cr.data(), ci.data(), d, w, slots, b.spec, wk);
        break;
    default: {
        for (int l = 0; l < slots; ++l) cr[l] = s + size_t(m) * l;
        const Okv32fc** cx = reinterpret_cast<const Okv32fc**>(cr.data());
        if (f == SynC32fc) st = okvsSynthesisFilter_SBR_CToR_32fc32f_D2L(cx, d, w, slots, b.spec, wk);
        if (f == DownC32fc) st = okvsSynthesisDownFilter_SBR_CToR_32fc32f_D2L(cx, d, w, slots, b.spec, wk);
        if (f == SynR) st = okvsSynthesisFilter_SBR_RToR_32f_D2L(cr.data(), d, w, slots, b.spec, wk);
        if (f == DownR) st = okvsSynthesisDownFilter_SBR_RToR_32f_D2L(cr.data(), d, w, slots, b.spec, wk);
    }
    }
    std::memcpy(out, d, sizeof(float) * n * slots);
    return st;
}

// Double-precision model of one bank: the delay line, window taps and modulation sums exactly
// as defined, with the same float window.
class Model {
public:
    explicit Model(Form f) : f_(f), line_(isAnalysis(f) ? 320 : 20 * bands(f), 0.0) {}
    void step(const float* in, double* out) {
        const int B = bands(f_);
        const float* w = window(f_);
        const double pi = M_PI;
        if (isAnalysis(f_)) {
            for (int k = 0; k < 32; ++k) line_[p_ + k] = in[31 - k];
            double u[64];
            for (int i = 0; i < 64; ++i) {
                u[i] = 0;
                for (int j = 0; j < 5; ++j) u[i] += double(w[i + 64 * j]) * line_[(p_ + i + 64 * j) % 320];
            }
            for (int k = 0; k < 32; ++k) {
                double re = 0, im = 0;
                for (int n = 0; n < 64; ++n) {
                    const double a = isComplex(f_) ? pi / 64 * (k + 0.5) * (2 * n - 0.5) : pi / 64 * (k + 0.5) * (2 * n - 96);
                    re += u[n] * 2 * std::cos(a);
                    im += u[n] * 2 * std::sin(a);
                }
                if (isComplex(f_)) {
                    out[2 * k] = re;
                    out[2 * k + 1] = im;
                } else {
                    out[k] = re;
                }
            }
            p_ = p_ == 0 ? 288 : p_ - 32;
            return;
        }
        const int L = 20 * B;
        for (int n = 0; n < 2 * B; ++n) {
            double v = 0;
            for (int k = 0; k < B; ++k) {
                const double re = isComplex(f_) ? in[2 * k] : in[k], im = isComplex(f_) ? in[2 * k + 1] : 0;
                double a;
                if (B == 64)
                    a = isComplex(f_) ? pi / 128 * (k + 0.5) * (2 * n - 255) : pi / 128 * (k + 0.5) * (2 * n - 64);
                else
                    a = isComplex(f_) ? pi / 64 * (k + 0.5) * (2 * n - 127.5) : pi / 64 * (k + 0.5) * (2 * n - 32);
                v += isComplex(f_) ? (re * std::cos(a) - im * std::sin(a)) / 64 : re * std::cos(a) / 32;
            }
            line_[p_ + n] = v;
        }
        for (int n = 0; n < B; ++n) {
            double y = 0;
            for (int j = 0; j < 10; ++j) {
                const int d = (j / 2) * 4 * B + (j & 1) * 3 * B;
                y += double(w[n + B * j]) * line_[(p_ + n + d) % L];
            }
            out[n] = y;
        }
        p_ = p_ == 0 ? L - 2 * B : p_ - 2 * B;
    }

private:
    Form f_;
    std::vector<double> line_;
    int p_ = 0;
};

inline std::string sharedDir() {
#ifdef OKV_SHARED_DIR
    return OKV_SHARED_DIR;
#else
    return "../shared";
#endif
}

// Numbers of a shared table file (comment lines skipped); empty when absent.
inline std::vector<double> readTable(const std::string& rel) {
    std::ifstream f(sharedDir() + "/tables/" + rel);
    std::vector<double> v;
    std::string line;
    while (std::getline(f, line))
        if (!line.empty() && line[0] != '#') v.push_back(std::stod(line));
    return v;
}

}  // namespace qmftest
