// Variant harness for the AAC long-term prediction tools: random histories and lags (some past
// the limits), every sequence, chained updates over full-scale and quiet spectra.
#include "harness/checkasm.h"

CHECK_EXPORTS(aac_ltp, "okvsLongTermPredict_AAC_32s", "okvsLongTermReconstruct_AAC_32s", "okvsLtpUpdate_AAC_32s")
{
    for (int it = 0; it < c.iters(); ++it) {
        chk::Rng& r = c.rng();
        const int seq = r.range(0, 30) ? r.range(0, 3) : 4;
        const int shape = r.range(0, 30) ? r.range(0, 1) : 2;
        const int prev = r.range(0, 1);
        const int rate = r.range(0, 30) ? r.range(0, 11) : 12;
        const int shift = r.range(0, 14);
        AACLtpData ltp{};
        ltp.ltpLag = r.range(0, 20) ? r.range(0, 2047) : r.range(-3000, 3000);
        ltp.ltpCoef = Okv16s(r.range(0, 10) ? r.range(9352, 22438) : r.range(-32768, 32767));
        for (int w = 0; w < 8; ++w) {
            ltp.ltpShortUsed[w] = r.coin();
            ltp.ltpShortLag[w] = r.range(0, 20) ? r.range(-120, 2063) : r.range(-4000, 4000);
        }
        c.call("okvsLongTermPredict_AAC_32s", [&](chk::Arena& a, int v) -> int {
            const Okv32s* h = a.in<Okv32s>(3072, [&](size_t) { return a.rng().i32(); });
            Okv32s* out = a.inout<Okv32s>(2048, [&](size_t) { return a.rng().i32(); });
            const AACLtpData* d = a.in_copy<AACLtpData>(&ltp, 1);
            return OKV_BODY(v, okvsLongTermPredict_AAC_32s)(h, out, d, seq);
        });
        c.call("okvsLongTermReconstruct_AAC_32s", [&](chk::Arena& a, int v) -> int {
            const Okv32s* p = a.in<Okv32s>(1024, [&](size_t) { return a.rng().i32(); });
            Okv32s* x = a.inout<Okv32s>(1024, [&](size_t) { return a.rng().i32(); });
            const int* flags = a.in<int>(41, [&](size_t) { return a.rng().range(0, 1); });
            return OKV_BODY(v, okvsLongTermReconstruct_AAC_32s)(p, x, flags, seq, rate);
        });
        const int frames = r.range(1, 3);
        c.call("okvsLtpUpdate_AAC_32s", [&](chk::Arena& a, int v) -> int {
            const Okv32s* x = a.in<Okv32s>(1024 * size_t(frames), [&](size_t) { return a.rng().i32() >> (shift + 4); });
            Okv32s* h = a.inout<Okv32s>(3072, [&](size_t) { return a.rng().i32() >> shift; });
            Okv32s* work = static_cast<Okv32s*>(a.scratch(6144 * 4));
            int st = okvOk;
            for (int i = 0; i < frames && st == okvOk; ++i)
                st = OKV_BODY(v, okvsLtpUpdate_AAC_32s)(x + 1024 * i, h, seq, shape, i ? shape : prev, work);
            return st;
        });
    }
}
