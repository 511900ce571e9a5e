// Variant harness for the AAC long-term prediction tools: random histories and lags (some past the
// limits), every sequence, chained updates over full-scale and quiet spectra.
#include "harness/checkasm.h"

CHECKER(aac_ltp) {
    for (int it = 0; it < c.iters(); ++it) {
        chk::Rng& r = c.rng();
        const int seq = r.pick(30, 0, 3, 4), shape = r.pick(30, 0, 1, 2), prev = r.range(0, 1);
        const int rate = r.pick(30, 0, 11, 12), shift = r.range(0, 14), frames = r.range(1, 3);
        AACLtpData ltp{};
        ltp.ltpLag = r.pick(20, 0, 2047, r.range(-3000, 3000));
        ltp.ltpCoef = Okv16s(r.pick(10, 9352, 22438, r.range(-32768, 32767)));
        for (int w = 0; w < 8; ++w)
            ltp.ltpShortUsed[w] = r.coin(), ltp.ltpShortLag[w] = r.pick(20, -120, 2063, r.range(-4000, 4000));
        CALL(okvsLongTermPredict_AAC_32s, a.in<Okv32s>(3072, a.i32()), a.inout<Okv32s>(2048, a.i32()), a.in_copy(&ltp), seq);
        CALL(okvsLongTermReconstruct_AAC_32s, a.in<Okv32s>(1024, a.i32()), a.inout<Okv32s>(1024, a.i32()),
             a.in<int>(41, a.uni(0, 1)), seq, rate);
        c.call("okvsLtpUpdate_AAC_32s", [&](chk::Arena& a, int v) -> int {
            Okv32s *x = a.inout<Okv32s>(1024 * size_t(frames), a.i32(shift + 4)), *h = a.inout<Okv32s>(3072, a.i32(shift));
            Okv32s* work = static_cast<Okv32s*>(a.scratch(6144 * 4));
            int st = okvOk;
            for (int i = 0; i < frames && st == okvOk; ++i)
                st = OKV_BODY(v, okvsLtpUpdate_AAC_32s)(x + 1024 * i, h, seq, shape, i ? shape : prev, work);
            return st;
        });
    }
}
