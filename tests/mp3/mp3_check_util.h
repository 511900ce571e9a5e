// Variant-harness helpers of the Layer III checkers: random headers and side information, and the float
// filter state exports (analysis and synthesis alike).
#pragma once
#include <cmath>
#include <tuple>

#include "harness/checkasm.h"

namespace mp3chk {

// A header with each field mostly in range and now and then just outside it.
inline MP3FrameHeader randomHeader(chk::Rng& r) {
    MP3FrameHeader h{};
    h.id = r.pick(15, 0, 1, 2), h.layer = r.pick(15, 1, 1, 2), h.protection_bit = r.range(0, 1), h.bitrate_index = r.range(0, 15);
    h.sampling_frequency = r.pick(15, 0, 2, 3), h.mode = r.range(0, 3), h.mode_extension = r.pick(15, 0, 3, 4);
    h.crc_check = r.range(0, 0xFFFF);
    return h;
}

inline MP3SideInfo randomSideInfo(chk::Rng& r) {
    MP3SideInfo si{};
    si.part2_3_length = r.range(0, 4095), si.big_values = r.range(0, 3) ? r.range(0, 288) : r.range(0, 300);
    si.global_gain = r.range(0, 255), si.scalefac_compress = r.pick(15, 0, 511, 600);
    si.window_switching_flag = r.range(0, 1), si.block_type = r.range(0, 3), si.mixed_block_flag = r.range(0, 1);
    for (int k = 0; k < 3; ++k) si.table_select[k] = r.pick(31, 0, 31, r.range(-1, 32)), si.subblock_gain[k] = r.range(0, 7);
    si.region0_count = r.range(0, 15), si.region1_count = r.range(0, 7), si.preflag = r.range(0, 1);
    si.scalefac_scale = r.range(0, 1), si.count1table_select = r.pick(15, 0, 1, 2);
    return si;
}

// Float inputs are finite: with several NaN operands which payload survives is operand order.
inline auto finite(chk::Arena& a) {
    return [&a](size_t) { const float f = a.rng().f32(); return std::isfinite(f) ? f : 3.0e38f; };
}

// The float filter state exports, api(v) giving the bodies (GetSize, Init, InitAlloc, Free, filter): a
// state built at any offset filters `calls` blocks in `mode`, an allocated one a block before Free; GetSize
// without a result, Free of a caller-memory state and of a foreign block.
template <class Api>
void checkFilter(chk::Ctx& c, const char* label, Api api, int it, int mode, int calls, int inLen, int outLen) {
    c.call(label, [&](chk::Arena& a, int v) -> int {
        const auto [getSize, init, initAlloc, release, filter] = api(v);
        const Okv32f* in = a.in<Okv32f>(size_t(inLen) * calls, finite(a));
        Okv32f* out = a.out<Okv32f>(size_t(outLen) * calls);
        int size = 0, *st = a.out<int>(6);
        st[0] = getSize(&size) * 10 + getSize(nullptr);
        auto *obj = chk::null_of(release), *own = obj;
        Okv8u* mem = a.scratch<Okv8u>(size_t(size), size_t(it & 15));
        st[1] = init(&obj, mem);
        st[2] = obj ? int(reinterpret_cast<Okv8u*>(obj) - mem) * 1000 + reinterpret_cast<Okv32s*>(obj)[1] : -1;
        for (int s = 0; s < calls && st[1] == okvOk; ++s) st[1] = filter(in + inLen * s, out + outLen * s, obj, mode);
        if ((st[3] = initAlloc(&own)) == okvOk)
            st[3] = filter(a.in<Okv32f>(64, finite(a)), a.out<Okv32f>(32), own, 1) * 10 + release(own);
        st[4] = release(obj), st[5] = release(static_cast<decltype(obj)>(a.scratch(64)));
        return 0;
    });
}

}  // namespace mp3chk

// checkFilter on the PQMF_MP3_32f state exports of kind K (AnalysisFilter or SynthesisFilter).
#define PQMF_BODY(K, F) OKV_BODY(v, okvs##K##F##_PQMF_MP3_32f)
#define CHECK_PQMF(K, ...)                                                                                       \
    mp3chk::checkFilter(c, #K " state", [](int v) {                                                                  \
        return std::tuple{PQMF_BODY(K, GetSize), PQMF_BODY(K, Init), PQMF_BODY(K, InitAlloc), PQMF_BODY(K, Free),       \
                          PQMF_BODY(K, )};                                                                               \
    }, __VA_ARGS__)
