// Variant harness for the float QMF banks and the PS hybrid filter: several calls in sequence
// on one structure per variant (random slot counts, kx, offsets and window), the size queries
// and initialisers, and the refusals. Inputs are finite, so NaN payloads never meet.
#include "harness/checkasm.h"
#include "sbr/qmf_window_data.h"

namespace {

float value(chk::Arena& a, float scale) { return float(a.rng().unit() * 2 - 1) * scale; }

// Size query and Init of one bank for variant v, in scratch memory at a random offset.
template <class G, class I>
StatusCode build(chk::Arena& a, G getSize, I init, SBRQMFSpec_32f** spec, Okv8u** work) {
    int s, i, w;
    StatusCode st = getSize(&s, &i, &w);
    if (st != okvOk) return st;
    Okv8u* mem = static_cast<Okv8u*>(a.scratch(size_t(s) + 16)) + a.rng().range(0, 15);
    *work = static_cast<Okv8u*>(a.scratch(size_t(w)));
    return init(spec, mem, static_cast<Okv8u*>(a.scratch(size_t(i))));
}

}  // namespace

#define QMF_ANALYSIS(NAME, FORM, ROWTYPE, PER)                                                                 \
    c.call(NAME, [&](chk::Arena& a, int v) -> int {                                                           \
        SBRQMFSpec_32f* spec;                                                                                  \
        Okv8u* work;                                                                                           \
        StatusCode st = build(a, OKV_BODY(v, okvsAnalysisFilterGetSize_SBR_##FORM),                            \
                              OKV_BODY(v, okvsAnalysisFilterInit_SBR_##FORM), &spec, &work);                    \
        const float* w = a.in<float>(320, [&](size_t i) { return kOkvSbrQmfWindow320[i] * wscale; });          \
        for (int call = 0; call < calls && st == okvOk; ++call) {                                               \
            const float* src = a.in<float>(32 * size_t(slots), [&](size_t) { return value(a, scale); });       \
            ROWTYPE* out = a.out<ROWTYPE>(size_t(32 * PER) * slots);                                            \
            std::vector<ROWTYPE*> rows(size_t(slots) + 3);                                                      \
            for (int l = 0; l < slots; ++l) rows[size_t(l) + 3] = out + size_t(32 * PER) * l;                    \
            st = QMF_ANALYSIS_CALL_##FORM;                                                                      \
        }                                                                                                      \
        return st;                                                                                             \
    })
#define QMF_ANALYSIS_CALL_RToR_32f \
    OKV_BODY(v, okvsAnalysisFilter_SBR_RToR_32f_D2L)(src, rows.data(), w, slots, 3, kx, spec, work)
#define QMF_ANALYSIS_CALL_RToC_32f32fc                                                                   \
    OKV_BODY(v, okvsAnalysisFilter_SBR_RToC_32f32fc_D2L)(src, reinterpret_cast<Okv32fc**>(rows.data()), \
                                                         w, slots, 3, kx, spec, work)
#define QMF_ANALYSIS_CALL_RToC_32f                                                                        \
    OKV_BODY(v, okvsAnalysisFilter_SBR_RToC_32f_D2L)(src, rows.data(), im.data(), w, slots, 3, kx, spec, \
                                                     work)

#define QMF_SYNTHESIS(NAME, KIND, FORM, BANDS, WLEN, CALL)                                                     \
    c.call(NAME, [&](chk::Arena& a, int v) -> int {                                                           \
        SBRQMFSpec_32f* spec;                                                                                  \
        Okv8u* work;                                                                                           \
        StatusCode st = build(a, OKV_BODY(v, okvs##KIND##GetSize_SBR_##FORM),                                  \
                              OKV_BODY(v, okvs##KIND##Init_SBR_##FORM), &spec, &work);                          \
        const float* w = a.in<float>(WLEN, [&](size_t i) {                                                     \
            return (WLEN == 640 ? kOkvSbrQmfWindow640[i] : kOkvSbrQmfWindow320[i]) * wscale;                  \
        });                                                                                                    \
        for (int call = 0; call < calls && st == okvOk; ++call) {                                               \
            std::vector<const float*> re(static_cast<size_t>(slots)), im(static_cast<size_t>(slots));                                     \
            for (int l = 0; l < slots; ++l) {                                                                  \
                re[size_t(l)] = a.in<float>(2 * BANDS, [&](size_t) { return value(a, scale); });                \
                im[size_t(l)] = a.in<float>(BANDS, [&](size_t) { return value(a, scale); });                    \
            }                                                                                                  \
            float* out = a.out<float>(size_t(BANDS) * slots);                                                   \
            st = CALL;                                                                                         \
        }                                                                                                      \
        return st;                                                                                             \
    })

CHECK_EXPORTS(sbr_qmf, "okvsAnalysisFilterGetSize_SBR_RToC_32f", "okvsAnalysisFilterGetSize_SBR_RToC_32f32fc",
              "okvsAnalysisFilterGetSize_SBR_RToR_32f", "okvsSynthesisFilterGetSize_SBR_CToR_32f",
              "okvsSynthesisFilterGetSize_SBR_CToR_32fc32f", "okvsSynthesisFilterGetSize_SBR_RToR_32f",
              "okvsSynthesisDownFilterGetSize_SBR_CToR_32f", "okvsSynthesisDownFilterGetSize_SBR_CToR_32fc32f",
              "okvsSynthesisDownFilterGetSize_SBR_RToR_32f", "okvsAnalysisFilterInit_SBR_RToC_32f",
              "okvsAnalysisFilterInit_SBR_RToC_32f32fc", "okvsAnalysisFilterInit_SBR_RToR_32f",
              "okvsSynthesisFilterInit_SBR_CToR_32f", "okvsSynthesisFilterInit_SBR_CToR_32fc32f",
              "okvsSynthesisFilterInit_SBR_RToR_32f", "okvsSynthesisDownFilterInit_SBR_CToR_32f",
              "okvsSynthesisDownFilterInit_SBR_CToR_32fc32f", "okvsSynthesisDownFilterInit_SBR_RToR_32f",
              "okvsAnalysisFilter_SBR_RToR_32f_D2L", "okvsAnalysisFilter_SBR_RToC_32f_D2L",
              "okvsAnalysisFilter_SBR_RToC_32f32fc_D2L", "okvsSynthesisFilter_SBR_CToR_32f_D2L",
              "okvsSynthesisFilter_SBR_CToR_32fc32f_D2L", "okvsSynthesisFilter_SBR_RToR_32f_D2L",
              "okvsSynthesisDownFilter_SBR_CToR_32f_D2L", "okvsSynthesisDownFilter_SBR_CToR_32fc32f_D2L",
              "okvsSynthesisDownFilter_SBR_RToR_32f_D2L") {
    for (int it = 0; it < c.iters(); ++it) {
        const int slots = c.rng().range(0, 34), calls = c.rng().range(1, 4);
        const int kx = c.rng().range(0, 8) ? c.rng().range(0, 32) : c.rng().range(-2, 34);
        const float scale = float(c.rng().range(0, 6) ? 1.0 : 1e-30 * c.rng().range(1, 1000));
        const float wscale = c.rng().range(0, 4) ? 1.0f : float(c.rng().unit() * 4 - 2);
        QMF_ANALYSIS("okvsAnalysisFilter_SBR_RToR_32f_D2L", RToR_32f, float, 1);
        QMF_ANALYSIS("okvsAnalysisFilter_SBR_RToC_32f32fc_D2L", RToC_32f32fc, Okv32fc, 1);
        c.call("okvsAnalysisFilter_SBR_RToC_32f_D2L", [&](chk::Arena& a, int v) -> int {
            SBRQMFSpec_32f* spec;
            Okv8u* work;
            StatusCode st = build(a, OKV_BODY(v, okvsAnalysisFilterGetSize_SBR_RToC_32f),
                                  OKV_BODY(v, okvsAnalysisFilterInit_SBR_RToC_32f), &spec, &work);
            const float* w = a.in<float>(320, [&](size_t i) { return kOkvSbrQmfWindow320[i] * wscale; });
            for (int call = 0; call < calls && st == okvOk; ++call) {
                const float* src = a.in<float>(32 * size_t(slots), [&](size_t) { return value(a, scale); });
                float* out = a.out<float>(64 * size_t(slots));
                std::vector<float*> rows(size_t(slots) + 3), im(size_t(slots) + 3);
                for (int l = 0; l < slots; ++l) {
                    rows[size_t(l) + 3] = out + 64 * size_t(l);
                    im[size_t(l) + 3] = out + 64 * size_t(l) + 32;
                }
                st = QMF_ANALYSIS_CALL_RToC_32f;
            }
            return st;
        });
        QMF_SYNTHESIS("okvsSynthesisFilter_SBR_CToR_32f_D2L", SynthesisFilter, CToR_32f, 64, 640,
                      OKV_BODY(v, okvsSynthesisFilter_SBR_CToR_32f_D2L)(re.data(), im.data(), out, w, slots, spec, work));
        QMF_SYNTHESIS("okvsSynthesisFilter_SBR_CToR_32fc32f_D2L", SynthesisFilter, CToR_32fc32f, 64, 640,
                      OKV_BODY(v, okvsSynthesisFilter_SBR_CToR_32fc32f_D2L)(
                          reinterpret_cast<const Okv32fc**>(re.data()), out, w, slots, spec, work));
        QMF_SYNTHESIS("okvsSynthesisFilter_SBR_RToR_32f_D2L", SynthesisFilter, RToR_32f, 64, 640,
                      OKV_BODY(v, okvsSynthesisFilter_SBR_RToR_32f_D2L)(re.data(), out, w, slots, spec, work));
        QMF_SYNTHESIS("okvsSynthesisDownFilter_SBR_CToR_32f_D2L", SynthesisDownFilter, CToR_32f, 32, 320,
                      OKV_BODY(v, okvsSynthesisDownFilter_SBR_CToR_32f_D2L)(re.data(), im.data(), out, w, slots, spec,
                                                                            work));
        QMF_SYNTHESIS("okvsSynthesisDownFilter_SBR_CToR_32fc32f_D2L", SynthesisDownFilter, CToR_32fc32f, 32, 320,
                      OKV_BODY(v, okvsSynthesisDownFilter_SBR_CToR_32fc32f_D2L)(
                          reinterpret_cast<const Okv32fc**>(re.data()), out, w, slots, spec, work));
        QMF_SYNTHESIS("okvsSynthesisDownFilter_SBR_RToR_32f_D2L", SynthesisDownFilter, RToR_32f, 32, 320,
                      OKV_BODY(v, okvsSynthesisDownFilter_SBR_RToR_32f_D2L)(re.data(), out, w, slots, spec, work));
    }
    // Size queries (all three outputs compared) and Init (handle offset and the first
    // header words compared), with a null argument now and then.
#define QMF_LIFECYCLE(KIND, FORM)                                                                              \
    for (int it = 0; it < 4; ++it) {                                                                           \
        c.call("okvs" #KIND "GetSize_SBR_" #FORM, [&](chk::Arena& a, int v) -> int {                           \
            int* s = a.out<int>(3);                                                                            \
            return OKV_BODY(v, okvs##KIND##GetSize_SBR_##FORM)(s, it == 3 ? nullptr : s + 1, s + 2);           \
        });                                                                                                    \
        c.call("okvs" #KIND "Init_SBR_" #FORM, [&](chk::Arena& a, int v) -> int {                              \
            int s, i, w;                                                                                       \
            OKV_BODY(v, okvs##KIND##GetSize_SBR_##FORM)(&s, &i, &w);                                           \
            Okv8u* mem = static_cast<Okv8u*>(a.scratch(size_t(s) + 16)) + 5 * it;                              \
            SBRQMFSpec_32f* spec = nullptr;                                                                    \
            const StatusCode st = OKV_BODY(v, okvs##KIND##Init_SBR_##FORM)(                                    \
                &spec, mem, it == 3 ? nullptr : static_cast<Okv8u*>(a.scratch(size_t(i))));                    \
            Okv64s* res = a.out<Okv64s>(3);                                                                    \
            res[0] = spec ? reinterpret_cast<Okv8u*>(spec) - mem : -1;                                         \
            res[1] = spec ? Okv64s(reinterpret_cast<Okv32u*>(spec)[0]) : 0;                                     \
            res[2] = spec ? reinterpret_cast<Okv32s*>(spec)[4] : 0;                                             \
            return st;                                                                                         \
        });                                                                                                    \
    }
    QMF_LIFECYCLE(AnalysisFilter, RToC_32f)
    QMF_LIFECYCLE(AnalysisFilter, RToC_32f32fc)
    QMF_LIFECYCLE(AnalysisFilter, RToR_32f)
    QMF_LIFECYCLE(SynthesisFilter, CToR_32f)
    QMF_LIFECYCLE(SynthesisFilter, CToR_32fc32f)
    QMF_LIFECYCLE(SynthesisFilter, RToR_32f)
    QMF_LIFECYCLE(SynthesisDownFilter, CToR_32f)
    QMF_LIFECYCLE(SynthesisDownFilter, CToR_32fc32f)
    QMF_LIFECYCLE(SynthesisDownFilter, RToR_32f)
#undef QMF_LIFECYCLE
}

CHECK_EXPORTS(ps_hybrid, "okvsAnalysisFilter_PS_32fc_D2") {
    for (int it = 0; it < c.iters(); ++it) {
        const int mode = c.rng().range(0, 10) ? c.rng().range(0, 4) : c.rng().range(-2, 6);
        const float scale = float(c.rng().range(0, 5) ? 1.0 : 1e-30);
        c.call("okvsAnalysisFilter_PS_32fc_D2", [&](chk::Arena& a, int v) -> int {
            const float* x = a.in<float>(88, [&](size_t) { return value(a, scale); });
            float* y = a.out<float>(32 * 24);
            return OKV_BODY(v, okvsAnalysisFilter_PS_32fc_D2)(x, it % 17 == 5 ? nullptr : y, mode);
        });
    }
}
