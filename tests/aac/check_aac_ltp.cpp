// Variant harness for the AAC long-term prediction tools: random histories and lags (some past
// the limits), every sequence, chained updates over full-scale and quiet spectra.
#include "harness/checkasm.h"

CHECKER(aac_ltp) {
    for (int it = 0; it < c.iters(); ++it) {
        chk::Rng& r = c.rng();
        const int seq = r.range(0, 30) ? r.range(0, 3) : 4, shape = r.range(0, 30) ? r.range(0, 1) : 2, prev = r.range(0, 1);
        const int rate = r.range(0, 30) ? r.range(0, 11) : 12, shift = r.range(0, 14), frames = r.range(1, 3);
        AACLtpData ltp{};
        ltp.ltpLag = r.range(0, 20) ? r.range(0, 2047) : r.range(-3000, 3000);
        ltp.ltpCoef = Okv16s(r.range(0, 10) ? r.range(9352, 22438) : r.range(-32768, 32767));
        for (int w = 0; w < 8; ++w) ltp.ltpShortUsed[w] = r.coin(), ltp.ltpShortLag[w] = r.range(0, 20) ? r.range(-120, 2063) : r.range(-4000, 4000);
        auto samples = [&](chk::Arena& a, size_t n, int s) { return a.inout<Okv32s>(n, [&, s](size_t) { return a.rng().i32() >> s; }); };
        auto input = [&](chk::Arena& a, size_t n) { return a.in<Okv32s>(n, [&](size_t) { return a.rng().i32(); }); };
        c.call("okvsLongTermPredict_AAC_32s", [&](chk::Arena& a, int v) -> int {
            return OKV_BODY(v, okvsLongTermPredict_AAC_32s)(input(a, 3072), samples(a, 2048, 0), a.in_copy<AACLtpData>(&ltp, 1), seq);
        });
        c.call("okvsLongTermReconstruct_AAC_32s", [&](chk::Arena& a, int v) -> int {
            const int* flags = a.in<int>(41, [&](size_t) { return a.rng().range(0, 1); });
            return OKV_BODY(v, okvsLongTermReconstruct_AAC_32s)(input(a, 1024), samples(a, 1024, 0), flags, seq, rate);
        });
        c.call("okvsLtpUpdate_AAC_32s", [&](chk::Arena& a, int v) -> int {
            Okv32s *x = samples(a, 1024 * size_t(frames), shift + 4), *h = samples(a, 3072, shift);
            Okv32s* work = static_cast<Okv32s*>(a.scratch(6144 * 4));
            int st = okvOk;
            for (int i = 0; i < frames && st == okvOk; ++i) st = OKV_BODY(v, okvsLtpUpdate_AAC_32s)(x + 1024 * i, h, seq, shape, i ? shape : prev, work);
            return st;
        });
    }
}
