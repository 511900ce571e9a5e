// Runs of the internal FFT and DCT kinds, compiled once per variant namespace
// (variants_u8_test.cpp, variants_n8_test.cpp) so that the bodies can be compared.
#pragma once

#include <cstdint>
#include <vector>

#include "fft_ref.h"
#include "transform/dct.h"

namespace OKV_NS::vrun {

// A transform of kind 4 (complex), 5 (split) or 6 (real) on fixed noise.
std::vector<float> fft(int kind, int order, int flag, bool inverse) {
    const int n = 1 << order;
    const size_t len = kind == kFftIdR32f ? size_t(n) : 2 * size_t(n);
    std::vector<float> x = xref::noise(len, 11 * order + kind), y(len);
    int s, i, w;
    if (kind == kFftIdR32f)
        okvsFFTGetSize_R_32f(order, flag, 0, &s, &i, &w);
    else
        okvsFFTGetSize_C_32fc(order, flag, 0, &s, &i, &w);
    std::vector<uint8_t> mem(s), init(i + 1), work(w);
    OkvsFFTSpec_32f* spec;
    if (kind == kFftIdR32f) {
        okvsFFTInit_R_32f(&spec, order, flag, 0, mem.data(), init.data());
        (inverse ? okvsFFTInv_PermToR_32f : okvsFFTFwd_RToPerm_32f)(x.data(), y.data(), spec, work.data());
    } else if (kind == kFftIdC32f) {
        okvsFFTInit_C_32f(&spec, order, flag, 0, mem.data(), init.data());
        okvsFFTFwd_CToC_32f(x.data(), x.data() + n, y.data(), y.data() + n, spec, work.data());
    } else {
        okvsFFTInit_C_32fc(&spec, order, flag, 0, mem.data(), init.data());
        (inverse ? okvsFFTInv_CToC_32fc : okvsFFTFwd_CToC_32fc)(
            reinterpret_cast<Okv32fc*>(x.data()), reinterpret_cast<Okv32fc*>(y.data()), spec, work.data());
    }
    return y;
}

// Forward then (on the same input) inverse DCT of length n.
std::vector<float> dct(int n) {
    std::vector<float> x = xref::noise(n, n), y(2 * size_t(n));
    int s, i, w;
    okvsDCTFwdGetSize_32f(n, 0, &s, &i, &w);
    std::vector<uint8_t> mem(2 * size_t(s)), init(i + 1);
    OkvsDCTSpec_32f *f, *g;
    okvsDCTFwdInit_32f(&f, n, 0, mem.data(), init.data());
    okvsDCTInvInit_32f(&g, n, 0, mem.data() + s, init.data());
    okvsDCTFwd_32f(x.data(), y.data(), f, nullptr);
    okvsDCTInv_32f(x.data(), y.data() + n, g, nullptr);
    return y;
}

}  // namespace OKV_NS::vrun
