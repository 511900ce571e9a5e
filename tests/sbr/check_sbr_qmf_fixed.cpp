// Variant harness for the fixed-point QMF banks: several slots per structure with shifted
// full-range values (wrap-around included), kx inside and outside 0..32, downsampled banks on
// full-rate structures; the delay line and position are compared after the slots.
#include <cstring>

#include "harness/checkasm.h"

namespace {

struct Bank {
    const char *getSize, *init, *initAlloc, *release, *filter;
    int kind;      // 0 analysis, 1 synthesis, 2 downsampled synthesis
    bool complex;
    int size;
};

const Bank kBanks[] = {
    {"okvsAnalysisFilterGetSize_SBRHQ_32s32sc", "okvsAnalysisFilterInit_SBRHQ_32s32sc",
     "okvsAnalysisFilterInitAlloc_SBRHQ_32s32sc", "okvsAnalysisFilterFree_SBRHQ_32s32sc",
     "okvsAnalysisFilter_SBRHQ_32s32sc", 0, true, 1343},
    {"okvsAnalysisFilterGetSize_SBRLP_32s", "okvsAnalysisFilterInit_SBRLP_32s", "okvsAnalysisFilterInitAlloc_SBRLP_32s",
     "okvsAnalysisFilterFree_SBRLP_32s", "okvsAnalysisFilter_SBRLP_32s", 0, false, 1343},
    {"okvsSynthesisFilterGetSize_SBRHQ_32sc32s", "okvsSynthesisFilterInit_SBRHQ_32sc32s",
     "okvsSynthesisFilterInitAlloc_SBRHQ_32sc32s", "okvsSynthesisFilterFree_SBRHQ_32sc32s",
     "okvsSynthesisFilter_SBRHQ_32sc32s", 1, true, 5183},
    {"okvsSynthesisFilterGetSize_SBRLP_32s", "okvsSynthesisFilterInit_SBRLP_32s",
     "okvsSynthesisFilterInitAlloc_SBRLP_32s", "okvsSynthesisFilterFree_SBRLP_32s", "okvsSynthesisFilter_SBRLP_32s", 1,
     false, 5183},
    {"okvsSynthesisDownFilterGetSize_SBRHQ_32sc32s", "okvsSynthesisDownFilterInit_SBRHQ_32sc32s",
     "okvsSynthesisDownFilterInitAlloc_SBRHQ_32sc32s", "okvsSynthesisDownFilterFree_SBRHQ_32sc32s",
     "okvsSynthesisDownFilter_SBRHQ_32sc32s", 2, true, 2623},
    {"okvsSynthesisDownFilterGetSize_SBRLP_32s", "okvsSynthesisDownFilterInit_SBRLP_32s",
     "okvsSynthesisDownFilterInitAlloc_SBRLP_32s", "okvsSynthesisDownFilterFree_SBRLP_32s",
     "okvsSynthesisDownFilter_SBRLP_32s", 2, false, 2623},
};

using GetSizeFn = StatusCode (*)(int*);
using InitFn = StatusCode (*)(void*);
using InitAllocFn = StatusCode (*)(void**);
using FreeFn = StatusCode (*)(void*);

// The variant's entry points of one bank, looked up by index.
struct Fns {
    GetSizeFn getSize;
    InitFn init;
    InitAllocFn initAlloc;
    FreeFn release;
};
Fns fnsOf(int b, int v) {
    switch (b) {
    case 0:
        return {OKV_BODY(v, okvsAnalysisFilterGetSize_SBRHQ_32s32sc), OKV_BODY(v, okvsAnalysisFilterInit_SBRHQ_32s32sc),
                OKV_BODY(v, okvsAnalysisFilterInitAlloc_SBRHQ_32s32sc), OKV_BODY(v, okvsAnalysisFilterFree_SBRHQ_32s32sc)};
    case 1:
        return {OKV_BODY(v, okvsAnalysisFilterGetSize_SBRLP_32s), OKV_BODY(v, okvsAnalysisFilterInit_SBRLP_32s),
                OKV_BODY(v, okvsAnalysisFilterInitAlloc_SBRLP_32s), OKV_BODY(v, okvsAnalysisFilterFree_SBRLP_32s)};
    case 2:
        return {OKV_BODY(v, okvsSynthesisFilterGetSize_SBRHQ_32sc32s), OKV_BODY(v, okvsSynthesisFilterInit_SBRHQ_32sc32s),
                OKV_BODY(v, okvsSynthesisFilterInitAlloc_SBRHQ_32sc32s),
                OKV_BODY(v, okvsSynthesisFilterFree_SBRHQ_32sc32s)};
    case 3:
        return {OKV_BODY(v, okvsSynthesisFilterGetSize_SBRLP_32s), OKV_BODY(v, okvsSynthesisFilterInit_SBRLP_32s),
                OKV_BODY(v, okvsSynthesisFilterInitAlloc_SBRLP_32s), OKV_BODY(v, okvsSynthesisFilterFree_SBRLP_32s)};
    case 4:
        return {OKV_BODY(v, okvsSynthesisDownFilterGetSize_SBRHQ_32sc32s),
                OKV_BODY(v, okvsSynthesisDownFilterInit_SBRHQ_32sc32s),
                OKV_BODY(v, okvsSynthesisDownFilterInitAlloc_SBRHQ_32sc32s),
                OKV_BODY(v, okvsSynthesisDownFilterFree_SBRHQ_32sc32s)};
    default:
        return {OKV_BODY(v, okvsSynthesisDownFilterGetSize_SBRLP_32s), OKV_BODY(v, okvsSynthesisDownFilterInit_SBRLP_32s),
                OKV_BODY(v, okvsSynthesisDownFilterInitAlloc_SBRLP_32s),
                OKV_BODY(v, okvsSynthesisDownFilterFree_SBRLP_32s)};
    }
}

StatusCode filter(int b, int v, const Okv32s* in, Okv32s* out, int kx, void* spec) {
    auto* cin = reinterpret_cast<const Okv32sc*>(in);
    switch (b) {
    case 0: return OKV_BODY(v, okvsAnalysisFilter_SBRHQ_32s32sc)(in, reinterpret_cast<Okv32sc*>(out), kx, spec);
    case 1: return OKV_BODY(v, okvsAnalysisFilter_SBRLP_32s)(in, out, kx, spec);
    case 2: return OKV_BODY(v, okvsSynthesisFilter_SBRHQ_32sc32s)(cin, out, spec);
    case 3: return OKV_BODY(v, okvsSynthesisFilter_SBRLP_32s)(in, out, spec);
    case 4: return OKV_BODY(v, okvsSynthesisDownFilter_SBRHQ_32sc32s)(cin, out, spec);
    default: return OKV_BODY(v, okvsSynthesisDownFilter_SBRLP_32s)(in, out, spec);
    }
}

}  // namespace

CHECK_EXPORTS(sbr_qmf_fixed, "okvsAnalysisFilterGetSize_SBRHQ_32s32sc", "okvsAnalysisFilterInit_SBRHQ_32s32sc",
              "okvsAnalysisFilterInitAlloc_SBRHQ_32s32sc", "okvsAnalysisFilterFree_SBRHQ_32s32sc",
              "okvsAnalysisFilter_SBRHQ_32s32sc", "okvsAnalysisFilterGetSize_SBRLP_32s",
              "okvsAnalysisFilterInit_SBRLP_32s", "okvsAnalysisFilterInitAlloc_SBRLP_32s",
              "okvsAnalysisFilterFree_SBRLP_32s", "okvsAnalysisFilter_SBRLP_32s",
              "okvsSynthesisFilterGetSize_SBRHQ_32sc32s", "okvsSynthesisFilterInit_SBRHQ_32sc32s",
              "okvsSynthesisFilterInitAlloc_SBRHQ_32sc32s", "okvsSynthesisFilterFree_SBRHQ_32sc32s",
              "okvsSynthesisFilter_SBRHQ_32sc32s", "okvsSynthesisFilterGetSize_SBRLP_32s",
              "okvsSynthesisFilterInit_SBRLP_32s", "okvsSynthesisFilterInitAlloc_SBRLP_32s",
              "okvsSynthesisFilterFree_SBRLP_32s", "okvsSynthesisFilter_SBRLP_32s",
              "okvsSynthesisDownFilterGetSize_SBRHQ_32sc32s", "okvsSynthesisDownFilterInit_SBRHQ_32sc32s",
              "okvsSynthesisDownFilterInitAlloc_SBRHQ_32sc32s", "okvsSynthesisDownFilterFree_SBRHQ_32sc32s",
              "okvsSynthesisDownFilter_SBRHQ_32sc32s", "okvsSynthesisDownFilterGetSize_SBRLP_32s",
              "okvsSynthesisDownFilterInit_SBRLP_32s", "okvsSynthesisDownFilterInitAlloc_SBRLP_32s",
              "okvsSynthesisDownFilterFree_SBRLP_32s", "okvsSynthesisDownFilter_SBRLP_32s") {
    for (int b = 0; b < 6; ++b) {
        const Bank& bank = kBanks[b];
        c.call(bank.getSize, [&](chk::Arena& a, int v) -> int { return fnsOf(b, v).getSize(a.out<int>(1)); });
        c.call(bank.initAlloc, [&](chk::Arena&, int v) -> int {
            void* spec = nullptr;
            const StatusCode s = fnsOf(b, v).initAlloc(&spec);
            return s * 10 + fnsOf(b, v).release(spec);
        });
        c.call(bank.release, [&](chk::Arena& a, int v) -> int { return fnsOf(b, v).release(a.scratch(64)); });
        c.call(bank.init, [&](chk::Arena&, int v) -> int { return fnsOf(b, v).init(nullptr); });
        const int in = bank.kind == 0 ? 32 : (bank.kind == 1 ? 64 : 32) * (bank.complex ? 2 : 1);
        const int out = bank.kind == 0 ? 32 * (bank.complex ? 2 : 1) : (bank.kind == 1 ? 64 : 32);
        for (int it = 0; it < c.iters(); ++it) {
            const int off = c.rng().range(0, 15), slots = c.rng().range(1, 12), kx = c.rng().range(-3, 40);
            // Downsampled banks run on a full-rate structure half of the time.
            const int host = bank.kind == 2 && c.rng().coin() ? b - 2 : b;
            c.call(bank.filter, [&](chk::Arena& a, int v) -> int {
                auto* mem = static_cast<Okv8u*>(a.scratch(size_t(kBanks[host].size) + 16));
                StatusCode s = fnsOf(host, v).init(mem + off);
                const int shift = a.rng().range(0, 31);
                for (int l = 0; l < slots && s == okvOk; ++l)
                    s = filter(b, v, a.in<Okv32s>(size_t(in), [&](size_t) { return a.rng().i32() >> shift; }),
                               a.out<Okv32s>(size_t(out)), kx, mem + off);
                // The state: slot position and delay line, at the documented offsets.
                const auto* base =
                    reinterpret_cast<const Okv8u*>((reinterpret_cast<uintptr_t>(mem + off) + 15) & ~uintptr_t{15});
                const int lineBytes = kBanks[host].size - 63 + 8;  // position at 40, line at 48
                std::memcpy(a.out<Okv8u>(size_t(lineBytes)), base + 40, size_t(lineBytes));
                return s * 10 + fnsOf(host, v).release(mem + off);
            });
        }
    }
}
