// Variant harness: Layer III analysis filterbanks (fixed and float, several consecutive calls,
// both strides, the spec lifecycle) and the forward MDCT over every block type. Float inputs
// are finite: several NaN operands leave the payload to operand order.
#include <cmath>
#include <vector>

#include "harness/checkasm.h"

CHECK_EXPORTS(mp3enc_filterbank, "okvsAnalysisPQMF_MP3_16s32s", "okvsAnalysisFilterGetSize_PQMF_MP3_32f",
              "okvsAnalysisFilterInit_PQMF_MP3_32f", "okvsAnalysisFilterInitAlloc_PQMF_MP3_32f",
              "okvsAnalysisFilterFree_PQMF_MP3_32f", "okvsAnalysisFilter_PQMF_MP3_32f", "okvsMDCTFwd_MP3_32s") {
    for (int it = 0; it < c.iters(); ++it) {
        const int mode = c.rng().range(0, 3);
        const int calls = c.rng().range(1, 20);
        c.call("okvsAnalysisPQMF_MP3_16s32s", [&](chk::Arena& a, int v) -> int {
            const Okv16s* in = a.in<Okv16s>(2 * (512 + 32 * calls));
            Okv32s* out = a.out<Okv32s>(32 * calls);
            int st = okvOk;
            for (int s = 0; s < calls && st == okvOk; ++s)
                st = OKV_BODY(v, okvsAnalysisPQMF_MP3_16s32s)(in + 32 * s * (mode == 2 ? 2 : 1), out + 32 * s, mode);
            return st;
        });
        auto finite = [](chk::Arena& a) {
            const float f = a.rng().f32();
            return std::isfinite(f) ? f : 3.0e38f;
        };
        c.call("okvsAnalysisFilter_PQMF_MP3_32f", [&](chk::Arena& a, int v) -> int {
            const Okv32f* in = a.in<Okv32f>(64 * calls, [&](size_t) { return finite(a); });
            Okv32f* out = a.out<Okv32f>(32 * calls);
            int size = 0;
            int st = OKV_BODY(v, okvsAnalysisFilterGetSize_PQMF_MP3_32f)(&size);
            if (st != okvOk) return st;
            std::vector<Okv8u> mem(size + 16);  // holds a pointer: not compared
            PQMFAnalysisSpec* spec = nullptr;
            st = OKV_BODY(v, okvsAnalysisFilterInit_PQMF_MP3_32f)(&spec, mem.data() + (it & 15));
            for (int s = 0; s < calls && st == okvOk; ++s)
                st = OKV_BODY(v, okvsAnalysisFilter_PQMF_MP3_32f)(in + 64 * s, out + 32 * s, spec, mode);
            return st;
        });
        c.call("okvsAnalysisFilterInitAlloc_PQMF_MP3_32f", [&](chk::Arena& a, int v) -> int {
            const Okv32f* in = a.in<Okv32f>(32, [&](size_t) { return finite(a); });
            Okv32f* out = a.out<Okv32f>(32);
            PQMFAnalysisSpec* spec = nullptr;
            int st = OKV_BODY(v, okvsAnalysisFilterInitAlloc_PQMF_MP3_32f)(&spec);
            if (st != okvOk) return st;
            st = OKV_BODY(v, okvsAnalysisFilter_PQMF_MP3_32f)(in, out, spec, 1);
            const int fr = OKV_BODY(v, okvsAnalysisFilterFree_PQMF_MP3_32f)(spec);
            return st != okvOk ? st : fr;
        });
        c.call("okvsAnalysisFilterGetSize_PQMF_MP3_32f", [&](chk::Arena& a, int v) -> int {
            int* size = a.out<int>(1);
            return OKV_BODY(v, okvsAnalysisFilterGetSize_PQMF_MP3_32f)(it & 1 ? size : nullptr);
        });
        c.call("okvsAnalysisFilterInit_PQMF_MP3_32f", [&](chk::Arena& a, int v) -> int {
            std::vector<Okv8u> mem(2107 + 16);
            PQMFAnalysisSpec* spec = nullptr;
            const int st = OKV_BODY(v, okvsAnalysisFilterInit_PQMF_MP3_32f)(&spec, mem.data() + (it & 15));
            Okv32s* res = a.out<Okv32s>(2);
            res[0] = int(reinterpret_cast<Okv8u*>(spec) - mem.data());
            res[1] = reinterpret_cast<Okv32s*>(spec)[1];
            return st;
        });
        c.call("okvsAnalysisFilterFree_PQMF_MP3_32f", [&](chk::Arena&, int v) -> int {
            std::vector<Okv8u> block(2107 + 16, 0);  // holds a pointer once built: not compared
            PQMFAnalysisSpec* spec = nullptr;
            if (it & 1) OKV_BODY(v, okvsAnalysisFilterInit_PQMF_MP3_32f)(&spec, block.data());
            return OKV_BODY(v, okvsAnalysisFilterFree_PQMF_MP3_32f)(reinterpret_cast<PQMFAnalysisSpec*>(block.data()));
        });
        MP3FrameHeader h{};
        h.id = c.rng().range(0, 1);
        h.sampling_frequency = c.rng().range(0, 3);
        const int type = c.rng().range(0, 4), mixed = c.rng().range(0, 1), shift = c.rng().range(0, 12);
        c.call("okvsMDCTFwd_MP3_32s", [&](chk::Arena& a, int v) -> int {
            const Okv32s* src = a.in<Okv32s>(576, [&](size_t) { return a.rng().i32() >> shift; });
            Okv32s* dst = a.out<Okv32s>(576);
            Okv32s* ov = a.inout<Okv32s>(576, [&](size_t) { return a.rng().i32() >> shift; });
            return OKV_BODY(v, okvsMDCTFwd_MP3_32s)(src, dst, type, mixed, a.in_copy(&h, 1), ov);
        });
    }
}
