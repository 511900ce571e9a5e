// Variant harness for the SBR exports: QMF banks, prediction, encoder bank and measures, PS hybrid.
#include "harness/checkasm.h"
#include "sbr/qmf_test_util.h"

#define BODIES(name) {&okv_u8::name, &okv_n8::name}

namespace {

float value(chk::Arena& a, float scale) { return float(a.rng().unit() * 2 - 1) * scale; }

// Row pointers to `rows` rows of `width` elements each, from gen.
template <class T, class G>
const T** rowsOf(chk::Arena& a, int rows, int width, G gen) {
    std::vector<const T*> r(static_cast<size_t>(rows));
    for (auto& row : r) row = a.in<T>(size_t(width), gen);
    return a.in<const T*>(size_t(rows), [&](size_t m) { return r[m]; });
}

#define FLOAT_NAMES(K, F) "okvs" #K "GetSize_SBR_" #F, "okvs" #K "Init_SBR_" #F, "okvs" #K "_SBR_" #F "_D2L",
#define FLOAT_BANK(K, F) {{FLOAT_NAMES(K, F)}, BODIES(okvs##K##GetSize_SBR_##F), BODIES(okvs##K##Init_SBR_##F)},
const qmftest::Filters kFloatFilters[2] = {SBR_QMF_FILTERS(okv_u8::), SBR_QMF_FILTERS(okv_n8::)};
struct FloatBank {
    const char* names[3];  // GetSize, Init, filter
    StatusCode (*getSize[2])(int*, int*, int*);
    StatusCode (*init[2])(SBRQMFSpec_32f**, Okv8u*, Okv8u*);
};
const FloatBank kFloat[] = {SBR_QMF_FORMS(FLOAT_BANK)};

// The fixed banks' bodies of each variant.
const qmftest::FixedBank kFixed[2][6] = {SBR_FIXED_BANKS(okv_u8::), SBR_FIXED_BANKS(okv_n8::)};
const size_t kFixedIn[] = {32, 32, 128, 64, 64, 32}, kFixedOut[] = {64, 32, 64, 64, 32, 32};

// Registers the five exports of a fixed bank.
void noteFixed(const qmftest::FixedBank& k) {
    const std::string name = k.name, family = name.substr(0, name.find('_')), suffix = name.substr(name.find('_'));
    for (const char* part : {"GetSize", "Init", "InitAlloc", "Free", ""})
        chk::note(("okvs" + family + part + suffix).c_str());
}

}  // namespace

// Float banks: sizes (a null result refused), Init at any offset (a null init buffer now and then), up to
// three calls on the structure. Named after each export in turn.
CHECKER(sbr_qmf) {
    for (int it = 0; it < 3 * c.iters(); ++it) {
        const int slots = c.rng().range(0, 34), calls = c.rng().range(1, 4), kx = c.rng().pick(8, 0, 32, c.rng().range(-2, 34));
        const float scale = float(c.rng().range(0, 6) ? 1.0 : 1e-30 * c.rng().range(1, 1000));
        for (int b = 0; b < 9; ++b)
            c.call(kFloat[b].names[it % 3], [&](chk::Arena& a, int v) -> int {
                const FloatBank& k = kFloat[b];
                int* s = a.out<int>(4);
                s[0] = k.getSize[v](s + 1, nullptr, s + 3) * 10 + k.getSize[v](s + 1, s + 2, s + 3);
                Okv8u* mem = a.scratch<Okv8u>(size_t(s[1]), size_t(it % 16));
                Okv8u* work = static_cast<Okv8u*>(a.scratch(size_t(s[3])));
                SBRQMFSpec_32f* spec = nullptr;
                StatusCode st = k.init[v](&spec, mem, it % 8 == 5 ? nullptr : static_cast<Okv8u*>(a.scratch(size_t(s[2]))));
                Okv64s* res = a.out<Okv64s>(3);
                res[0] = spec ? reinterpret_cast<Okv8u*>(spec) - mem : -1;
                res[1] = spec ? Okv64s(reinterpret_cast<Okv32u*>(spec)[0]) : 0;
                res[2] = spec ? reinterpret_cast<Okv32s*>(spec)[4] : 0;
                const qmftest::Form f = qmftest::Form(b);
                const size_t ns = size_t(std::max(slots, 2));
                for (int call = 0; call < calls && st == okvOk; ++call)
                    st = qmftest::filter(f, spec, work, a.in<float>(ns * inPerSlot(f), [&](size_t) { return value(a, scale); }),
                                         a.out<float>(ns * outPerSlot(f)), slots, kx, true, kFloatFilters[v]);
                return st;
            });
    }
}

// Fixed banks: GetSize, Init without a structure, InitAlloc and Free, Free of a foreign block; then slots
// of shifted full-range values, kx in and out of 0..32, downsampled banks on full-rate structures half of
// the time; the position (byte 40) and delay line (bytes 48 on) compared after the slots.
CHECKER(sbr_qmf_fixed) {
    for (int b = 0; b < 6; ++b)
        for (int it = 0; it < c.iters(); ++it) {
            const int off = c.rng().range(0, 15), slots = c.rng().range(1, 12), kx = c.rng().range(-3, 40);
            const int host = b >= 4 && c.rng().coin() ? b - 2 : b;
            c.call("fixed QMF bank", [&](chk::Arena& a, int v) -> int {
                const qmftest::FixedBank &k = kFixed[v][b], &h = kFixed[v][host];
                noteFixed(k);
                int* st = a.out<int>(4);
                void* spec = nullptr;
                st[0] = k.getSize(a.out<int>(1)) * 10 + k.init(nullptr);
                st[1] = k.initAlloc(&spec) * 10 + k.release(spec);
                st[2] = k.release(a.scratch(64));
                int size = 0;
                h.getSize(&size);
                auto* mem = a.scratch<Okv8u>(size_t(size), size_t(off));
                StatusCode s = h.init(mem);
                const int shift = a.rng().range(0, 31);
                for (int l = 0; l < slots && s == okvOk; ++l)
                    s = k.filter(a.in<Okv32s>(kFixedIn[b], a.i32(shift)), a.out<Okv32s>(kFixedOut[b]), kx, mem);
                const Okv8u* base = qmftest::fixedBase(mem);
                const size_t line = size_t(size) - 15 - qmftest::kFixedLine;  // the size less the alignment slack
                std::memcpy(a.out<Okv8u>(4), base + qmftest::kFixedPos, 4);
                std::memcpy(a.out<Okv8u>(line), base + qmftest::kFixedLine, line);
                return st[3] = h.release(mem), s;
            });
        }
}

// Prediction: slot counts around the edges of both paths, band counts across the four-band split.
CHECKER(sbr_predict) {
    for (int it = 0; it < c.iters(); ++it) {
        const int k = c.rng().range(-1, 37), len = c.rng().coin() ? c.rng().range(-1, 2) : c.rng().range(3, 38);
        const int w = std::max(k, 1), rows = len > 0 ? len + 2 : 2, band = c.rng().range(-1, 3), flag = c.rng().range(0, 1);
        const int fixedLen = c.rng().coin() ? c.rng().range(-1, 2) : c.rng().range(30, 39), shift = c.rng().range(0, 31);
        const auto fc = [](chk::Arena& a) { return [&a](size_t) { return Okv32fc{a.rng().f32(), a.rng().f32()}; }; };
        const auto sc = [shift](chk::Arena& a) {
            return [&a, shift](size_t) { return Okv32sc{a.rng().i32() >> shift, a.rng().i32() >> shift}; };
        };
        const auto re = [&](chk::Arena& a) { return rowsOf<Okv32f>(a, rows, w, a.f32()); };
        const auto alpha = [&](chk::Arena& a) { return a.out<Okv32f>(size_t(w)); };
        const auto alphaC = [&](chk::Arena& a) { return a.out<Okv32fc>(size_t(w)); };
        CALL(okvsPredictCoef_SBR_R_32f_D2L, re(a), alpha(a), alpha(a), k, len);
        CALL(okvsPredictCoef_SBR_C_32f_D2L, re(a), re(a), alpha(a), alpha(a), alpha(a), alpha(a), k, len);
        CALL(okvsPredictCoef_SBR_C_32fc_D2L, rowsOf<Okv32fc>(a, rows, w, fc(a)), alphaC(a), alphaC(a), k, len);
        CALL(okvsPredictOneCoef_SBRLP_32s_D2L, rowsOf<Okv32s>(a, 40, 4, a.i32(shift)), a.out<Okv32s>(1), a.out<Okv32s>(1),
             a.out<Okv32s>(1), band, fixedLen, flag);
        CALL(okvsPredictOneCoef_SBRHQ_32sc_D2L, rowsOf<Okv32sc>(a, 40, 4, sc(a)), a.out<Okv32sc>(1), a.out<Okv32sc>(1), band,
             fixedLen);
    }
}

#define ENC(name) OKV_BODY(v, okvsAnalysisFilterEnc##name##_SBR_32f)

// Encoder bank: GetSize, Init without an init buffer, InitAlloc and Free, Free of a foreign block, then three
// slots on a structure at any offset; measures on random blocks, the PS hybrid in valid and invalid modes.
CHECKER(sbr_enc) {
    for (int it = 0; it < 2 * c.iters(); ++it) {
        const int off = c.rng().range(0, 15), mode = c.rng().pick(10, 0, 4, c.rng().range(-2, 6));
        c.call("SBR encoder bank", [&](chk::Arena& a, int v) -> int {
            int size, buf, *st = a.out<int>(3);
            void* spec = nullptr;
            st[0] = ENC(GetSize)(&size, &buf) * 10 + ENC(Init)(a.scratch(64), nullptr);
            st[1] = ENC(InitAlloc)(&spec) * 10 + ENC(Free)(spec);
            st[2] = ENC(Free)(a.scratch(64));
            auto* mem = a.scratch<Okv8u>(size_t(size), size_t(off));
            StatusCode s = ENC(Init)(mem, a.scratch(size_t(buf)));
            const float scale = float(a.rng().range(0, 1 << 16));
            for (int slot = 0; slot < 3 && s == okvOk; ++slot)
                s = OKV_BODY(v, okvsAnalysisFilterEnc_SBR_32f32fc)(a.in<Okv32f>(640, [&](size_t) { return value(a, scale); }),
                                                                   a.out<Okv32f>(128), mem);
            return s * 10 + ENC(Free)(mem);
        });
        const float scale = float(c.rng().range(0, 1 << 20));
        CALL(okvsEstimateTNR_SBR_32f, a.in<Okv32f>(64, a.f32()), a.out<Okv32f>(1), a.out<Okv32f>(1), a.out<Okv32f>(1));
        CALL(okvsDetectTransient_SBR_32f, a.in<Okv32f>(64, [&](size_t) { return float(a.rng().unit()) * scale; }),
             a.inout<Okv32f>(1, a.uni(0, 1 << 22)), a.inout<Okv32f>(64, a.uni(-9, 9)));
        CALL(okvsAnalysisFilter_PS_32fc_D2, a.in<float>(88, [&](size_t) { return value(a, it % 5 ? 1.0f : 1e-30f); }),
             it % 17 == 5 ? nullptr : a.out<float>(32 * 24), mode);
    }
}
