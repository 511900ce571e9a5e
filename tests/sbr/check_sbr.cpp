// Variant harness for the SBR exports: the float and fixed QMF banks (several calls on one
// structure, random slot counts, kx, offsets and window scale; sizes and Init with a null
// now and then), the prediction coefficients, the encoder bank and measures, the PS hybrid.
#include "harness/checkasm.h"
#include "sbr/qmf_window_data.h"

#define BODIES(name) {&okv_u8::name, &okv_n8::name}

namespace {

float value(chk::Arena& a, float scale) { return float(a.rng().unit() * 2 - 1) * scale; }

// Row pointers to `rows` rows of `width` elements each, from gen.
template <class T, class G>
const T* const* rowsOf(chk::Arena& a, int rows, int width, G gen) {
    std::vector<const T*> r(static_cast<size_t>(rows));
    for (auto& row : r) row = a.in<T>(size_t(width), gen);
    return a.in<const T*>(size_t(rows), [&](size_t m) { return r[m]; });
}

struct FixedBank {
    const char* names[5];  // GetSize, Init, InitAlloc, Free, filter
    StatusCode (*getSize[2])(int*);
    StatusCode (*init[2])(void*);
    StatusCode (*initAlloc[2])(void**);
    StatusCode (*release[2])(void*);
    int in, out, size;
};
#define FIXED_NAMES(F, S) \
    "okvs" #F "GetSize_" #S, "okvs" #F "Init_" #S, "okvs" #F "InitAlloc_" #S, "okvs" #F "Free_" #S, "okvs" #F "_" #S
#define FIXED(Family, suffix, in, out, size)                                                                      \
    {{FIXED_NAMES(Family, suffix)},                                                                               \
     BODIES(okvs##Family##GetSize_##suffix), BODIES(okvs##Family##Init_##suffix),                                  \
     BODIES(okvs##Family##InitAlloc_##suffix), BODIES(okvs##Family##Free_##suffix), in, out, size}
const FixedBank kFixed[] = {
    FIXED(AnalysisFilter, SBRHQ_32s32sc, 32, 64, 1343),       FIXED(AnalysisFilter, SBRLP_32s, 32, 32, 1343),
    FIXED(SynthesisFilter, SBRHQ_32sc32s, 128, 64, 5183),     FIXED(SynthesisFilter, SBRLP_32s, 64, 64, 5183),
    FIXED(SynthesisDownFilter, SBRHQ_32sc32s, 64, 32, 2623), FIXED(SynthesisDownFilter, SBRLP_32s, 32, 32, 2623),
};
#undef FIXED

StatusCode fixedFilter(int b, int v, const Okv32s* in, Okv32s* out, int kx, void* spec) {
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

// One float bank form: its size query (all outputs compared), its Init (handle offset and
// header words compared) and `calls` filtering calls of `slots` slots. Analysis rows start at
// pDst[3] with a stride of 64 floats (the imaginary rows 32 floats on).
#define QMF(KIND, FORM, WLEN, CALL)                                                                                \
    c.call("okvs" #KIND "GetSize_SBR_" #FORM, [&](chk::Arena& a, int v) -> int {                                   \
        int* s = a.out<int>(3);                                                                                    \
        return OKV_BODY(v, okvs##KIND##GetSize_SBR_##FORM)(s, it % 8 == 3 ? nullptr : s + 1, s + 2);               \
    });                                                                                                            \
    c.call("okvs" #KIND "Init_SBR_" #FORM, [&](chk::Arena& a, int v) -> int {                                      \
        int s, i, w;                                                                                               \
        OKV_BODY(v, okvs##KIND##GetSize_SBR_##FORM)(&s, &i, &w);                                                   \
        Okv8u* mem = static_cast<Okv8u*>(a.scratch(size_t(s) + 16)) + it % 16;                                    \
        SBRQMFSpec_32f* spec = nullptr;                                                                            \
        const StatusCode st = OKV_BODY(v, okvs##KIND##Init_SBR_##FORM)(                                            \
            &spec, mem, it % 8 == 5 ? nullptr : static_cast<Okv8u*>(a.scratch(size_t(i))));                        \
        Okv64s* res = a.out<Okv64s>(3);                                                                            \
        res[0] = spec ? reinterpret_cast<Okv8u*>(spec) - mem : -1;                                                 \
        res[1] = spec ? Okv64s(reinterpret_cast<Okv32u*>(spec)[0]) : 0;                                            \
        res[2] = spec ? reinterpret_cast<Okv32s*>(spec)[4] : 0;                                                    \
        return st;                                                                                                 \
    });                                                                                                            \
    c.call("okvs" #KIND "_SBR_" #FORM "_D2L", [&](chk::Arena& a, int v) -> int {                                   \
        int s, i, ws;                                                                                              \
        OKV_BODY(v, okvs##KIND##GetSize_SBR_##FORM)(&s, &i, &ws);                                                  \
        SBRQMFSpec_32f* spec = nullptr;                                                                            \
        Okv8u* mem = static_cast<Okv8u*>(a.scratch(size_t(s) + 16)) + a.rng().range(0, 15);                       \
        Okv8u* work = static_cast<Okv8u*>(a.scratch(size_t(ws)));                                                 \
        StatusCode st = OKV_BODY(v, okvs##KIND##Init_SBR_##FORM)(&spec, mem, static_cast<Okv8u*>(a.scratch(size_t(i)))); \
        const float* w = a.in<float>(WLEN, [&](size_t n) {                                                         \
            return (WLEN == 640 ? kOkvSbrQmfWindow640[n] : kOkvSbrQmfWindow320[n]) * wscale;                       \
        });                                                                                                        \
        for (int call = 0; call < calls && st == okvOk; ++call) {                                                  \
            [[maybe_unused]] const float* src = a.in<float>(32 * size_t(slots), [&](size_t) { return value(a, scale); }); \
            std::vector<const float*> re(static_cast<size_t>(slots)), im = re;                                      \
            for (int l = 0; l < slots; ++l) {                                                                      \
                re[size_t(l)] = a.in<float>(128, [&](size_t) { return value(a, scale); });                         \
                im[size_t(l)] = a.in<float>(64, [&](size_t) { return value(a, scale); });                          \
            }                                                                                                      \
            float* out = a.out<float>(64 * size_t(slots));                                                         \
            std::vector<float*> rows(size_t(slots) + 3), rowsIm(size_t(slots) + 3);                               \
            for (int l = 0; l < slots; ++l) rows[size_t(l) + 3] = out + 64 * l, rowsIm[size_t(l) + 3] = out + 64 * l + 32; \
            [[maybe_unused]] const Okv32fc** cre = reinterpret_cast<const Okv32fc**>(re.data());                  \
            st = OKV_BODY(v, okvs##KIND##_SBR_##FORM##_D2L) CALL;                                                  \
        }                                                                                                          \
        return st;                                                                                                 \
    })

// The size query, Init and filter of each float bank form.
#define QMF_NAMES(KIND, FORM) \
    "okvs" #KIND "GetSize_SBR_" #FORM, "okvs" #KIND "Init_SBR_" #FORM, "okvs" #KIND "_SBR_" #FORM "_D2L"
CHECK_EXPORTS(sbr_qmf, QMF_NAMES(AnalysisFilter, RToC_32f), QMF_NAMES(AnalysisFilter, RToC_32f32fc),
              QMF_NAMES(AnalysisFilter, RToR_32f), QMF_NAMES(SynthesisFilter, CToR_32f),
              QMF_NAMES(SynthesisFilter, CToR_32fc32f), QMF_NAMES(SynthesisFilter, RToR_32f),
              QMF_NAMES(SynthesisDownFilter, CToR_32f), QMF_NAMES(SynthesisDownFilter, CToR_32fc32f),
              QMF_NAMES(SynthesisDownFilter, RToR_32f)) {
    for (int it = 0; it < c.iters(); ++it) {
        const int slots = c.rng().range(0, 34), calls = c.rng().range(1, 4);
        const int kx = c.rng().range(0, 8) ? c.rng().range(0, 32) : c.rng().range(-2, 34);
        const float scale = float(c.rng().range(0, 6) ? 1.0 : 1e-30 * c.rng().range(1, 1000));
        const float wscale = c.rng().range(0, 4) ? 1.0f : float(c.rng().unit() * 4 - 2);
        QMF(AnalysisFilter, RToR_32f, 320, (src, rows.data(), w, slots, 3, kx, spec, work));
        QMF(AnalysisFilter, RToC_32f32fc, 320, (src, reinterpret_cast<Okv32fc**>(rows.data()), w, slots, 3, kx, spec, work));
        QMF(AnalysisFilter, RToC_32f, 320, (src, rows.data(), rowsIm.data(), w, slots, 3, kx, spec, work));
        QMF(SynthesisFilter, CToR_32f, 640, (re.data(), im.data(), out, w, slots, spec, work));
        QMF(SynthesisFilter, CToR_32fc32f, 640, (cre, out, w, slots, spec, work));
        QMF(SynthesisFilter, RToR_32f, 640, (re.data(), out, w, slots, spec, work));
        QMF(SynthesisDownFilter, CToR_32f, 320, (re.data(), im.data(), out, w, slots, spec, work));
        QMF(SynthesisDownFilter, CToR_32fc32f, 320, (cre, out, w, slots, spec, work));
        QMF(SynthesisDownFilter, RToR_32f, 320, (re.data(), out, w, slots, spec, work));
    }
}
#undef QMF

// Fixed banks: shifted full-range values (wrap-around included), kx inside and outside 0..32,
// downsampled banks on full-rate structures half of the time; the position and delay line
// (at bytes 40 and 48 of the aligned structure) are compared after the slots.
CHECK_EXPORTS(sbr_qmf_fixed, FIXED_NAMES(AnalysisFilter, SBRHQ_32s32sc), FIXED_NAMES(AnalysisFilter, SBRLP_32s),
              FIXED_NAMES(SynthesisFilter, SBRHQ_32sc32s), FIXED_NAMES(SynthesisFilter, SBRLP_32s),
              FIXED_NAMES(SynthesisDownFilter, SBRHQ_32sc32s), FIXED_NAMES(SynthesisDownFilter, SBRLP_32s)) {
    for (int b = 0; b < 6; ++b) {
        const FixedBank& k = kFixed[b];
        c.call(k.names[0], [&](chk::Arena& a, int v) -> int { return k.getSize[v](a.out<int>(1)); });
        c.call(k.names[1], [&](chk::Arena&, int v) -> int { return k.init[v](nullptr); });
        c.call(k.names[2], [&](chk::Arena&, int v) -> int {
            void* spec = nullptr;
            const StatusCode s = k.initAlloc[v](&spec);
            return s * 10 + k.release[v](spec);
        });
        c.call(k.names[3], [&](chk::Arena& a, int v) -> int { return k.release[v](a.scratch(64)); });
        for (int it = 0; it < c.iters(); ++it) {
            const int off = c.rng().range(0, 15), slots = c.rng().range(1, 12), kx = c.rng().range(-3, 40);
            const int host = b >= 4 && c.rng().coin() ? b - 2 : b;
            c.call(k.names[4], [&](chk::Arena& a, int v) -> int {
                auto* mem = static_cast<Okv8u*>(a.scratch(size_t(kFixed[host].size) + 16)) + off;
                StatusCode s = kFixed[host].init[v](mem);
                const int shift = a.rng().range(0, 31);
                for (int l = 0; l < slots && s == okvOk; ++l)
                    s = fixedFilter(b, v, a.in<Okv32s>(size_t(k.in), [&](size_t) { return a.rng().i32() >> shift; }),
                                    a.out<Okv32s>(size_t(k.out)), kx, mem);
                const auto* base = reinterpret_cast<const Okv8u*>((reinterpret_cast<uintptr_t>(mem) + 15) & ~uintptr_t{15});
                const size_t stateBytes = size_t(kFixed[host].size) - 55;
                std::memcpy(a.out<Okv8u>(stateBytes), base + 40, stateBytes);
                return s * 10 + kFixed[host].release[v](mem);
            });
        }
    }
}

// Prediction: slot counts around the edges of both paths, band counts across the four-band split.
CHECK_EXPORTS(sbr_predict, "okvsPredictCoef_SBR_R_32f_D2L", "okvsPredictCoef_SBR_C_32f_D2L",
              "okvsPredictCoef_SBR_C_32fc_D2L", "okvsPredictOneCoef_SBRLP_32s_D2L",
              "okvsPredictOneCoef_SBRHQ_32sc_D2L") {
    for (int it = 0; it < c.iters(); ++it) {
        const int k = c.rng().range(-1, 37), len = c.rng().coin() ? c.rng().range(-1, 2) : c.rng().range(3, 38);
        const int w = std::max(k, 1), rows = len > 0 ? len + 2 : 2;
        const int band = c.rng().range(-1, 3), flag = c.rng().range(0, 1);
        const int fixedLen = c.rng().coin() ? c.rng().range(-1, 2) : c.rng().range(30, 39);
        auto f32 = [](chk::Arena& a) { return [&a](size_t) { return a.rng().f32(); }; };
        c.call("okvsPredictCoef_SBR_R_32f_D2L", [&](chk::Arena& a, int v) -> int {
            return OKV_BODY(v, okvsPredictCoef_SBR_R_32f_D2L)(rowsOf<Okv32f>(a, rows, w, f32(a)), a.out<Okv32f>(size_t(w)),
                                                              a.out<Okv32f>(size_t(w)), k, len);
        });
        c.call("okvsPredictCoef_SBR_C_32f_D2L", [&](chk::Arena& a, int v) -> int {
            auto re = rowsOf<Okv32f>(a, rows, w, f32(a));
            auto im = rowsOf<Okv32f>(a, rows, w, f32(a));
            return OKV_BODY(v, okvsPredictCoef_SBR_C_32f_D2L)(re, im, a.out<Okv32f>(size_t(w)), a.out<Okv32f>(size_t(w)),
                                                              a.out<Okv32f>(size_t(w)), a.out<Okv32f>(size_t(w)), k, len);
        });
        c.call("okvsPredictCoef_SBR_C_32fc_D2L", [&](chk::Arena& a, int v) -> int {
            auto src = rowsOf<Okv32fc>(a, rows, w, [&](size_t) { return Okv32fc{a.rng().f32(), a.rng().f32()}; });
            return OKV_BODY(v, okvsPredictCoef_SBR_C_32fc_D2L)(src, a.out<Okv32fc>(size_t(w)), a.out<Okv32fc>(size_t(w)), k, len);
        });
        c.call("okvsPredictOneCoef_SBRLP_32s_D2L", [&](chk::Arena& a, int v) -> int {
            const int shift = a.rng().range(0, 31);
            auto src = rowsOf<Okv32s>(a, 40, 4, [&](size_t) { return a.rng().i32() >> shift; });
            return OKV_BODY(v, okvsPredictOneCoef_SBRLP_32s_D2L)(src, a.out<Okv32s>(1), a.out<Okv32s>(1), a.out<Okv32s>(1),
                                                                 band, fixedLen, flag);
        });
        c.call("okvsPredictOneCoef_SBRHQ_32sc_D2L", [&](chk::Arena& a, int v) -> int {
            const int shift = a.rng().range(0, 31);
            auto src = rowsOf<Okv32sc>(a, 40, 4, [&](size_t) { return Okv32sc{a.rng().i32() >> shift, a.rng().i32() >> shift}; });
            return OKV_BODY(v, okvsPredictOneCoef_SBRHQ_32sc_D2L)(src, a.out<Okv32sc>(1), a.out<Okv32sc>(1), band, fixedLen);
        });
    }
}

// Encoder: the analysis bank over three slots per structure, the measures on random blocks;
// the PS hybrid filter in every mode and some invalid ones, now and then with a null output.
CHECK_EXPORTS(sbr_enc, "okvsEstimateTNR_SBR_32f", "okvsDetectTransient_SBR_32f", "okvsAnalysisFilterEncGetSize_SBR_32f",
              "okvsAnalysisFilterEncInit_SBR_32f", "okvsAnalysisFilterEncInitAlloc_SBR_32f",
              "okvsAnalysisFilterEncFree_SBR_32f", "okvsAnalysisFilterEnc_SBR_32f32fc", "okvsAnalysisFilter_PS_32fc_D2") {
    c.call("okvsAnalysisFilterEncGetSize_SBR_32f", [](chk::Arena& a, int v) -> int {
        return OKV_BODY(v, okvsAnalysisFilterEncGetSize_SBR_32f)(a.out<int>(1), a.out<int>(1));
    });
    c.call("okvsAnalysisFilterEncInitAlloc_SBR_32f", [](chk::Arena&, int v) -> int {
        void* spec = nullptr;
        const StatusCode s = OKV_BODY(v, okvsAnalysisFilterEncInitAlloc_SBR_32f)(&spec);
        return s * 10 + OKV_BODY(v, okvsAnalysisFilterEncFree_SBR_32f)(spec);
    });
    c.call("okvsAnalysisFilterEncInit_SBR_32f",
           [](chk::Arena& a, int v) -> int { return OKV_BODY(v, okvsAnalysisFilterEncInit_SBR_32f)(a.scratch(64), nullptr); });
    c.call("okvsAnalysisFilterEncFree_SBR_32f",
           [](chk::Arena& a, int v) -> int { return OKV_BODY(v, okvsAnalysisFilterEncFree_SBR_32f)(a.scratch(64)); });
    for (int it = 0; it < c.iters(); ++it) {
        const int off = c.rng().range(0, 15), mode = c.rng().range(0, 10) ? c.rng().range(0, 4) : c.rng().range(-2, 6);
        c.call("okvsAnalysisFilterEnc_SBR_32f32fc", [&](chk::Arena& a, int v) -> int {
            int size, buf;
            OKV_BODY(v, okvsAnalysisFilterEncGetSize_SBR_32f)(&size, &buf);
            auto* mem = static_cast<Okv8u*>(a.scratch(size_t(size) + 16)) + off;
            StatusCode s = OKV_BODY(v, okvsAnalysisFilterEncInit_SBR_32f)(mem, a.scratch(size_t(buf)));
            const float scale = float(a.rng().range(0, 1 << 16));
            for (int slot = 0; slot < 3 && s == okvOk; ++slot)
                s = OKV_BODY(v, okvsAnalysisFilterEnc_SBR_32f32fc)(a.in<Okv32f>(640, [&](size_t) { return value(a, scale); }),
                                                                   a.out<Okv32f>(128), mem);
            return s * 10 + OKV_BODY(v, okvsAnalysisFilterEncFree_SBR_32f)(mem);
        });
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
        c.call("okvsAnalysisFilter_PS_32fc_D2", [&](chk::Arena& a, int v) -> int {
            const float* x = a.in<float>(88, [&](size_t) { return value(a, it % 5 ? 1.0f : 1e-30f); });
            return OKV_BODY(v, okvsAnalysisFilter_PS_32fc_D2)(x, it % 17 == 5 ? nullptr : a.out<float>(32 * 24), mode);
        });
    }
}
