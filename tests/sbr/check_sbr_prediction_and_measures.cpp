// Variant harness for the SBR prediction coefficients: random subband rows, bands and slot counts.
#include "harness/checkasm.h"

namespace {

// Row pointers to `rows` rows of `width` elements each, from gen.
template <class T, class G>
const T* const* rowsOf(chk::Arena& a, int rows, int width, G gen) {
    std::vector<const T*> r(rows);
    for (auto& row : r) row = a.in<T>(width, gen);
    return a.in<const T*>(rows, [&](size_t m) { return r[m]; });
}

// Slot counts around the edges of both paths, band counts across the four-band split.
int slots(chk::Rng& r) { return r.coin() ? r.range(-1, 2) : r.range(3, 38); }
int bands(chk::Rng& r) { return r.range(-1, 37); }

}  // namespace

CHECK_EXPORTS(sbr_predict, "okvsPredictCoef_SBR_R_32f_D2L", "okvsPredictCoef_SBR_C_32f_D2L",
              "okvsPredictCoef_SBR_C_32fc_D2L", "okvsPredictOneCoef_SBRLP_32s_D2L",
              "okvsPredictOneCoef_SBRHQ_32sc_D2L") {
    for (int it = 0; it < c.iters(); ++it) {
        const int k = bands(c.rng()), len = slots(c.rng()), w = k > 0 ? k : 1, rows = len > 0 ? len + 2 : 2;
        c.call("okvsPredictCoef_SBR_R_32f_D2L", [&](chk::Arena& a, int v) -> int {
            auto src = rowsOf<Okv32f>(a, rows, w, [&](size_t) { return a.rng().f32(); });
            return OKV_BODY(v, okvsPredictCoef_SBR_R_32f_D2L)(src, a.out<Okv32f>(w), a.out<Okv32f>(w), k, len);
        });
        c.call("okvsPredictCoef_SBR_C_32f_D2L", [&](chk::Arena& a, int v) -> int {
            auto re = rowsOf<Okv32f>(a, rows, w, [&](size_t) { return a.rng().f32(); });
            auto im = rowsOf<Okv32f>(a, rows, w, [&](size_t) { return a.rng().f32(); });
            return OKV_BODY(v, okvsPredictCoef_SBR_C_32f_D2L)(re, im, a.out<Okv32f>(w), a.out<Okv32f>(w),
                                                              a.out<Okv32f>(w), a.out<Okv32f>(w), k, len);
        });
        c.call("okvsPredictCoef_SBR_C_32fc_D2L", [&](chk::Arena& a, int v) -> int {
            auto src = rowsOf<Okv32fc>(a, rows, w, [&](size_t) { return Okv32fc{a.rng().f32(), a.rng().f32()}; });
            return OKV_BODY(v, okvsPredictCoef_SBR_C_32fc_D2L)(src, a.out<Okv32fc>(w), a.out<Okv32fc>(w), k, len);
        });
        const int band = c.rng().range(-1, 3), flag = c.rng().range(0, 1);
        const int fixedLen = c.rng().coin() ? c.rng().range(-1, 2) : c.rng().range(30, 39);
        c.call("okvsPredictOneCoef_SBRLP_32s_D2L", [&](chk::Arena& a, int v) -> int {
            // Shifted random words: full-scale extremes as well as small bands.
            const int shift = a.rng().range(0, 31);
            auto src = rowsOf<Okv32s>(a, 40, 4, [&](size_t) { return a.rng().i32() >> shift; });
            return OKV_BODY(v, okvsPredictOneCoef_SBRLP_32s_D2L)(src, a.out<Okv32s>(1), a.out<Okv32s>(1),
                                                                 a.out<Okv32s>(1), band, fixedLen, flag);
        });
        c.call("okvsPredictOneCoef_SBRHQ_32sc_D2L", [&](chk::Arena& a, int v) -> int {
            const int shift = a.rng().range(0, 31);
            auto src = rowsOf<Okv32sc>(a, 40, 4, [&](size_t) {
                return Okv32sc{a.rng().i32() >> shift, a.rng().i32() >> shift};
            });
            return OKV_BODY(v, okvsPredictOneCoef_SBRHQ_32sc_D2L)(src, a.out<Okv32sc>(1), a.out<Okv32sc>(1), band,
                                                                  fixedLen);
        });
    }
}

CHECK_EXPORTS(sbr_enc_measures, "okvsEstimateTNR_SBR_32f", "okvsDetectTransient_SBR_32f") {
    for (int it = 0; it < c.iters(); ++it) {
        c.call("okvsEstimateTNR_SBR_32f", [&](chk::Arena& a, int v) -> int {
            return OKV_BODY(v, okvsEstimateTNR_SBR_32f)(a.in<Okv32f>(64, [&](size_t) { return a.rng().f32(); }),
                                                        a.out<Okv32f>(1), a.out<Okv32f>(1), a.out<Okv32f>(1));
        });
        c.call("okvsDetectTransient_SBR_32f", [&](chk::Arena& a, int v) -> int {
            const float scale = float(a.rng().range(0, 1 << 20));
            return OKV_BODY(v, okvsDetectTransient_SBR_32f)(
                a.in<Okv32f>(64, [&](size_t) { return float(a.rng().unit()) * scale; }),
                a.inout<Okv32f>(1, [&](size_t) { return float(a.rng().range(0, 1 << 22)); }),
                a.inout<Okv32f>(64, [&](size_t) { return float(a.rng().range(-9, 9)); }));
        });
    }
}

CHECK_EXPORTS(sbr_enc_analysis, "okvsAnalysisFilterEncGetSize_SBR_32f", "okvsAnalysisFilterEncInit_SBR_32f",
              "okvsAnalysisFilterEncInitAlloc_SBR_32f", "okvsAnalysisFilterEncFree_SBR_32f",
              "okvsAnalysisFilterEnc_SBR_32f32fc") {
    c.call("okvsAnalysisFilterEncGetSize_SBR_32f", [](chk::Arena& a, int v) -> int {
        return OKV_BODY(v, okvsAnalysisFilterEncGetSize_SBR_32f)(a.out<int>(1), a.out<int>(1));
    });
    for (int it = 0; it < c.iters(); ++it) {
        const int off = c.rng().range(0, 15);
        c.call("okvsAnalysisFilterEnc_SBR_32f32fc", [&](chk::Arena& a, int v) -> int {
            int size, buf;
            OKV_BODY(v, okvsAnalysisFilterEncGetSize_SBR_32f)(&size, &buf);
            auto* mem = static_cast<Okv8u*>(a.scratch(size + 16));
            StatusCode s = OKV_BODY(v, okvsAnalysisFilterEncInit_SBR_32f)(mem + off, a.scratch(buf));
            if (s != okvOk) return s;
            const float scale = float(a.rng().range(0, 1 << 16));
            for (int slot = 0; slot < 3 && s == okvOk; ++slot)
                s = OKV_BODY(v, okvsAnalysisFilterEnc_SBR_32f32fc)(
                    a.in<Okv32f>(640, [&](size_t) { return float(a.rng().unit() - 0.5) * scale; }), a.out<Okv32f>(128),
                    mem + off);
            return s * 10 + OKV_BODY(v, okvsAnalysisFilterEncFree_SBR_32f)(mem + off);
        });
    }
    c.call("okvsAnalysisFilterEncInitAlloc_SBR_32f", [](chk::Arena&, int v) -> int {
        void* spec = nullptr;
        const StatusCode s = OKV_BODY(v, okvsAnalysisFilterEncInitAlloc_SBR_32f)(&spec);
        return s * 10 + OKV_BODY(v, okvsAnalysisFilterEncFree_SBR_32f)(spec);
    });
    c.call("okvsAnalysisFilterEncInit_SBR_32f", [](chk::Arena& a, int v) -> int {
        return OKV_BODY(v, okvsAnalysisFilterEncInit_SBR_32f)(a.scratch(64), nullptr);
    });
    c.call("okvsAnalysisFilterEncFree_SBR_32f", [](chk::Arena& a, int v) -> int {
        return OKV_BODY(v, okvsAnalysisFilterEncFree_SBR_32f)(a.scratch(64));
    });
}
