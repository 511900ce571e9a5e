// Variant harness: Layer III analysis filterbanks (consecutive calls, both strides, the float state's
// lifecycle), the forward MDCT over every block type, the psychoacoustic model over frames of one state
// (noise, tones and bursts) and the quantisation of whole frames.
#include "mp3/mp3_check_util.h"

CHECKER(mp3enc_analysis) {
    for (int it = 0; it < c.iters(); ++it) {
        chk::Rng& r = c.rng();
        const int mode = r.range(0, 3), calls = r.range(1, 20), stride = 32 * (mode == 2 ? 2 : 1);
        c.call("okvsAnalysisPQMF_MP3_16s32s", [&](chk::Arena& a, int v) -> int {
            const Okv16s* in = a.in<Okv16s>(2 * (512 + 32 * calls));
            Okv32s* out = a.out<Okv32s>(32 * calls);
            return chk::chain(calls, [&](int s) {
                return OKV_BODY(v, okvsAnalysisPQMF_MP3_16s32s)(in + stride * s, out + 32 * s, mode);
            });
        });
        CHECK_PQMF(AnalysisFilter, it, mode, calls, 64, 32);
        MP3FrameHeader h = mp3chk::randomHeader(r);
        h.layer = 1;
        const int type = r.range(0, 4), mixed = r.range(0, 1), shift = r.range(0, 12);
        CALL(okvsMDCTFwd_MP3_32s, a.in<Okv32s>(576, a.i32(shift)), a.out<Okv32s>(576), type, mixed, a.in_copy(&h),
             a.inout<Okv32s>(576, a.i32(shift)));
        h.id = r.range(0, 7) ? 1 : 0;
        const int nch = h.mode == 3 ? 1 : 2, samples = 576 * (h.id ? 2 : 1) * nch, frames = r.range(1, 4), level = r.range(0, 15);
        std::vector<Okv16s> pcm(size_t(frames) * samples);
        for (size_t i = 0; i < pcm.size(); ++i)
            pcm[i] = Okv16s((r.i32() >> (16 + level)) + 3000 * std::sin(0.07 * double(i / nch)) + (r.range(0, 400) ? 0 : 32767));
        c.call("okvsPsychoacousticModelTwo_MP3_16s", [&](chk::Arena& a, int v) -> int {
            auto* state = reinterpret_cast<Okv8u*>(a.inout<Okv32s>(OKV_MP3_PSY_STATE_SIZE / 4, a.uni(0, 0)));  // 4-byte aligned
            Okv8u* work = a.scratch<Okv8u>(OKV_MP3_PSY_WORK_SIZE, 0);
            MP3PsyRatio* ratio = a.out<MP3PsyRatio>(4);
            int* bound = a.out<int>(6);
            MP3SideInfo* si = a.out<MP3SideInfo>(4);
            MP3FrameHeader* hd = a.one(h);
            return chk::chain(frames, [&](int f) {
                const Okv16s* x = a.in_copy(pcm.data() + size_t(f) * samples, size_t(samples));
                return OKV_BODY(v, okvsPsychoacousticModelTwo_MP3_16s)(x, ratio, bound, si, hd, state, nullptr, work);
            });
        });
        h.id = r.pick(15, 0, 1, 2);
        const int rec = nch * (h.id == 1 ? 2 : 1), qtype = r.range(0, 3), qmixed = r.range(0, 31) == 0;
        const int meanBits = r.range(0, 12000), qshift = r.range(0, 20), resvSize = r.range(0, 511) * 8;
        const MP3BitReservoir resv{resvSize, r.range(resvSize, 4088)};
        MP3SideInfo si{};
        si.block_type = qtype, si.window_switching_flag = qtype != 0, si.mixed_block_flag = qmixed;
        const auto side = [&](size_t) { return si; };
        const auto ratio = [](chk::Arena& a) {
            return [&a](size_t) {
                MP3PsyRatio q{};
                for (int& x : q.ratio) x = a.rng().pick(7, 0, 400000000, a.rng().i32());
                return q.pe = a.rng().range(-10, 3000), q;
            };
        };
        CALL(okvsQuantize_MP3_32s_I, a.inout<Okv32s>(576 * rec, a.i32(qshift)), a.inout<Okv8s>(40 * rec, a.uni(0, 6)),
             a.out<int>(8), a.out<int>(rec), a.out<int>(rec), a.in_copy(&h), a.inout<MP3SideInfo>(rec, side),
             a.inout<MP3PsyRatio>(rec, ratio(a)), reinterpret_cast<const Okv8u*>(a.in<Okv32s>(2, a.uni(0, 3))), a.one(resv),
             meanBits, a.in<int>(6, a.uni(0, 22)), a.scratch<Okv32s>(OKV_MP3_QUANT_WORK_LEN * sizeof(Okv32s), 0));
    }
}
