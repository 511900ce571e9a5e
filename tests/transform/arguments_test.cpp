// Every refusal of the transforms in checking order; freed specs and foreign kinds refused.
#include <gtest/gtest.h>

#include "transform/dct.h"
#include "transform/fft.h"

using namespace okv_u8;

TEST(TransformArguments, RefusalsInOrder) {
    int s, i, w, size = 0, bufSize = 0;
    std::vector<uint8_t> mem(1 << 20), mem2(1 << 16);
    OkvsDCTSpec_32f* dct = nullptr;
    OkvsFFTSpec_32f* fft = nullptr;
    OkvsFFTSpec_16sc* s16 = nullptr;
    OkvsMDCTFwdSpec_32f* f = nullptr;
    OkvsMDCTInvSpec_32f* g = nullptr;
    OkvsMDCTFwdSpec_16s *a = nullptr, *b = nullptr;
    float x[64] = {}, y[64];
    Okv16s z16[64] = {}, y16[32];
    Okv32fc v[8] = {};
    const std::pair<StatusCode, StatusCode> cases[] = {
        {okvsDCTFwdGetSize_32f(0, 0, &s, &i, &w), okvErrSize},
        {okvsDCTFwdGetSize_32f(0, 0, nullptr, &i, &w), okvErrSize},
        {okvsDCTFwdGetSize_32f(5, 0, nullptr, &i, &w), okvErrNullPtr},
        {okvsDCTFwdGetSize_32f(1 << 28, 0, &s, &i, &w), okvOk},
        {okvsDCTFwdGetSize_32f((1 << 25) - 1, 0, &s, &i, &w), okvOk},
        {okvsDCTFwdGetSize_32f((1 << 25) + 1, 0, &s, &i, &w), okvErrSize},
        {okvsDCTFwdInit_32f(&dct, 0, 0, nullptr, nullptr), okvErrSize},
        {okvsDCTFwdInit_32f(nullptr, 5, 0, mem.data(), nullptr), okvErrNullPtr},
        {okvsDCTFwdInit_32f(&dct, (1 << 26) + 1, 0, mem.data(), nullptr), okvErrSize},  // before the init buffer
        {okvsDCTFwdInit_32f(&dct, 12, 0, mem.data(), nullptr), okvOk},
        {okvsDCTInv_32f(x, y, dct, nullptr), okvErrContextMatch},
        {okvsDCTFwd_32f(x, nullptr, dct, nullptr), okvErrNullPtr},
        {okvsFFTGetSize_C_32fc(31, 8, 0, nullptr, &i, &w), okvErrFftOrder},
        {okvsFFTGetSize_C_32fc(29, 8, 0, nullptr, &i, &w), okvErrNullPtr},
        {okvsFFTGetSize_C_32fc(29, 3, 0, &s, &i, &w), okvErrFftFlag},
        {okvsFFTGetSize_C_32fc(-1, 8, 0, &s, &i, &w), okvErrFftOrder},
        {okvsFFTGetSize_C_32fc(29, 8, 0, &s, &i, &w), okvErrFftOrder},
        {okvsFFTGetSize_R_32f(30, 8, 0, &s, &i, &w), okvErrFftOrder},
        {okvsFFTGetSize_C_16sc(31, 8, 0, &s, &i, &w), okvErrFftOrder},
        {okvsFFTGetSize_C_16sc(3, 0, 0, &s, &i, &w), okvErrFftFlag},
        {okvsFFTInit_C_32fc(nullptr, 3, 8, 0, mem2.data(), nullptr), okvErrNullPtr},
        {okvsFFTInit_C_32fc(&fft, 29, 8, 0, mem2.data(), nullptr), okvErrFftOrder},
        {okvsFFTInit_C_32fc(&fft, 3, 8, 0, nullptr, nullptr), okvErrNullPtr},
        {okvsFFTInit_R_32f(&fft, 30, 8, 0, mem2.data(), nullptr), okvErrFftOrder},
        {okvsFFTInit_C_32fc(&fft, 11, 8, 0, mem2.data(), nullptr), okvErrNullPtr},  // order 11 needs the init buffer
        {okvsFFTInit_R_32f(&fft, 11, 8, 0, mem2.data(), nullptr), okvErrNullPtr},
        {okvsFFTInit_C_32fc(&fft, 3, 3, 0, mem2.data(), nullptr), okvErrFftFlag},
        {okvsFFTFwd_CToC_32fc(v, v, fft, nullptr), okvErrContextMatch},  // the spec a bad flag left
        {okvsFFTGetBufSize_C_32fc(fft, &size), okvErrContextMatch},
        {okvsFFTInit_C_32fc(&fft, 3, 8, 0, mem2.data(), nullptr), okvOk},
        {okvsFFTFwd_CToC_32fc(nullptr, v, fft, nullptr), okvErrNullPtr},
        {okvsFFTFwd_CToC_32fc(v, v, nullptr, nullptr), okvErrNullPtr},
        {okvsFFTFwd_RToPerm_32f(nullptr, nullptr, fft, nullptr), okvErrContextMatch},
        {okvsFFTFree_C_32fc(fft), okvOk},
        {okvsFFTFree_C_32fc(fft), okvErrContextMatch},
        {okvsFFTInit_R_32f(&fft, 3, 8, 0, mem2.data(), nullptr), okvOk},
        {okvsFFTFwd_RToPerm_32f(nullptr, y, fft, nullptr), okvErrNullPtr},
        {okvsFFTInv_PermToR_32f(x, nullptr, fft, nullptr), okvErrNullPtr},
        {okvsFFTInit_C_16sc(&s16, 2, 8, 0, mem2.data(), nullptr), okvErrNullPtr},
        {okvsFFTInit_C_16sc(&s16, 2, 5, 0, mem2.data(), mem2.data()), okvErrFftFlag},
        {okvsFFTInit_C_16sc(&s16, 30, 5, 0, mem2.data(), mem2.data()), okvErrFftFlag},  // sizes are checked later
        {okvsFFTInit_C_16sc(&s16, 31, 8, 0, mem2.data(), mem2.data()), okvErrFftOrder},
        {okvsFFTInitAlloc_C_16sc(&s16, 5, 1, 0), okvOk},
        {okvsFFTFree_C_16sc(s16), okvOk},
        {okvsFFTInitAlloc_C_32fc(&fft, 12, 2, 0), okvOk},
        {okvsFFTGetBufSize_C_32fc(fft, &size), okvOk},
        {okvsFFTFree_C_32fc(fft), okvOk},
        {::okvsMDCTFwdGetSize_32f(48, &s, &i, &w), okvErrSize},
        {::okvsMDCTFwdGetSize_32f(16, &s, &i, &w), okvErrSize},
        {::okvsMDCTFwdGetSize_32f(24, &s, &i, &w), okvErrSize},
        {::okvsMDCTFwdGetSize_32f(-64, &s, &i, &w), okvErrSize},
        {::okvsMDCTFwdGetSize_16s(12, &s, &i, &w), okvErrSize},
        {::okvsMDCTFwdGetSize_16s(16, &s, &i, &w), okvErrSize},
        {::okvsMDCTFwdGetSize_16s(1 << 29, &s, &i, &w), okvOk},
        {::okvsMDCTFwdGetSize_16s(1 << 30, &s, &i, &w), okvErrSize},
        {::okvsMDCTFwdGetSize_32f(48, nullptr, &i, &w), okvErrNullPtr},
        {::okvsMDCTFwdGetSize_32f(1 << 28, &s, &i, &w), okvOk},
        {::okvsMDCTFwdGetSize_32f(1 << 29, &s, &i, &w), okvErrSize},  // sizes beyond 2^31 bytes
        {::okvsMDCTFwd_32f(nullptr, nullptr, nullptr, nullptr), okvErrNullPtr},
        {::okvsMDCTFwdInit_32f(&f, 64, nullptr, nullptr), okvErrNullPtr},
        {::okvsMDCTFwdInit_32f(&f, 40, mem.data(), nullptr), okvErrSize},
        {::okvsMDCTFwdInit_32f(&f, 1 << 13, mem.data(), nullptr), okvErrNullPtr},  // the inner FFT's init buffer
        {::okvsMDCTFwdInitAlloc_32f(&f, 64), okvOk},
        {::okvsMDCTInv_32f(nullptr, nullptr, reinterpret_cast<OkvsMDCTInvSpec_32f*>(f), nullptr), okvErrContextMatch},
        {::okvsMDCTInv_32f_I(x, reinterpret_cast<OkvsMDCTInvSpec_32f*>(f), nullptr), okvErrContextMatch},
        {::okvsMDCTInvGetBufSize_32f(reinterpret_cast<OkvsMDCTInvSpec_32f*>(f), &size), okvErrContextMatch},
        {::okvsMDCTFwd_32f(x, nullptr, f, nullptr), okvErrNullPtr},
        {::okvsMDCTFwdGetBufSize_32f(f, nullptr), okvErrNullPtr},
        {::okvsMDCTFwdFree_32f(f), okvOk},
        {::okvsMDCTInvInitAlloc_32f(&g, 1 << 14), okvOk},
        {::okvsMDCTFwdFree_32f(reinterpret_cast<OkvsMDCTFwdSpec_32f*>(g)), okvErrContextMatch},
        {::okvsMDCTInvFree_32f(g), okvOk},
        {::okvsMDCTInvInitAlloc_32f(&g, 20), okvErrSize},
        {::okvsMDCTInvFree_32f(nullptr), okvErrNullPtr},
        {::okvsMDCTFwdInit_16s(&b, 64, mem.data(), mem2.data()), okvOk},
        {::okvsMDCTFwd_16s_Sfs(nullptr, y16, b, 0, nullptr), okvErrNullPtr},
        {::okvsMDCTFwd_16s_Sfs(z16, y16, nullptr, 0, nullptr), okvErrNullPtr},
        {::okvsMDCTFwdInitAlloc_16s(&a, 512), okvOk},
        {::okvsMDCTFwdGetBufSize_16s(a, &bufSize), okvOk},
        {::okvsMDCTFwdFree_16s(a), okvOk},
        {::okvsMDCTFwdFree_16s(b), okvOk},  // a freed caller-memory spec is refused afterwards
        {::okvsMDCTFwd_16s_Sfs(z16, y16, b, 0, nullptr), okvErrContextMatch},
        {::okvsMDCTFwdFree_16s(b), okvErrContextMatch},
        {::okvsMDCTFwdInit_16s(&a, 64, mem.data(), nullptr), okvErrNullPtr},
    };
    for (size_t k = 0; k < std::size(cases); ++k) EXPECT_EQ(cases[k].first, cases[k].second) << "case " << k;
    EXPECT_EQ(size, 8 * 4096 + 64);
    ASSERT_EQ(::okvsMDCTFwdGetSize_16s(512, &s, &i, &w), okvOk);
    EXPECT_EQ(bufSize, w);
}
