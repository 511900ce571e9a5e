// Variant-harness helpers of the Layer III checkers: random headers and side information, cursor
// calls, and the float filter state exports (analysis and synthesis alike).
#pragma once
#include <cmath>
#include <vector>

#include "harness/checkasm.h"

namespace mp3chk {

// A header with each field mostly in range and now and then just outside it.
inline MP3FrameHeader randomHeader(chk::Rng& r) {
    auto pick = [&](int lo, int hi, int odd) { return r.range(0, 15) ? r.range(lo, hi) : odd; };
    MP3FrameHeader h{};
    h.id = pick(0, 1, 2), h.layer = pick(1, 1, 2), h.protection_bit = r.range(0, 1), h.bitrate_index = r.range(0, 15);
    h.sampling_frequency = pick(0, 2, 3), h.mode = r.range(0, 3), h.mode_extension = pick(0, 3, 4);
    h.crc_check = r.range(0, 0xFFFF);
    return h;
}

inline MP3SideInfo randomSideInfo(chk::Rng& r) {
    MP3SideInfo si{};
    si.part2_3_length = r.range(0, 4095), si.big_values = r.range(0, 3) ? r.range(0, 288) : r.range(0, 300);
    si.global_gain = r.range(0, 255), si.scalefac_compress = r.range(0, 15) ? r.range(0, 511) : 600;
    si.window_switching_flag = r.range(0, 1), si.block_type = r.range(0, 3), si.mixed_block_flag = r.range(0, 1);
    for (int k = 0; k < 3; ++k) si.table_select[k] = r.range(0, 31) ? r.range(0, 31) : r.range(-1, 32), si.subblock_gain[k] = r.range(0, 7);
    si.region0_count = r.range(0, 15), si.region1_count = r.range(0, 7), si.preflag = r.range(0, 1);
    si.scalefac_scale = r.range(0, 1), si.count1table_select = r.range(0, 15) ? r.range(0, 1) : 2;
    return si;
}

// Calls f(&p) on a cursor p at s and records how far it moved in an output.
template <class F> int cursorCall(chk::Arena& a, Okv8u* s, F f) {
    int* moved = a.out<int>(1);
    Okv8u* p = s;
    const int st = f(&p);
    return *moved = int(p - s), st;
}

// Float inputs are finite: with several NaN operands which payload survives is operand order.
inline float finite(chk::Arena& a) {
    const float f = a.rng().f32();
    return std::isfinite(f) ? f : 3.0e38f;
}

template <class State> struct FilterApi {
    StatusCode (*getSize)(int*);
    StatusCode (*init)(State**, Okv8u*);
    StatusCode (*initAlloc)(State**);
    StatusCode (*release)(State*);
    StatusCode (*filter)(const Okv32f*, Okv32f*, State*, int);
};

// One iteration over the filter state exports `names` (GetSize, Init, InitAlloc, Free, filter): the filter
// over `calls` calls in `mode` on a state built at any offset, InitAlloc with a call and Free, GetSize with
// and without a result, Init, Free of a built and of a foreign block. A state's memory is not compared.
template <class State, class Api>
void checkFilterExports(chk::Ctx& c, const char* const names[5], Api api, int it, int mode, int calls, int inLen,
                      int outLen) {
    c.call(names[4], [&](chk::Arena& a, int v) -> int {
        const Okv32f* in = a.in<Okv32f>(size_t(inLen) * calls, [&](size_t) { return finite(a); });
        Okv32f* out = a.out<Okv32f>(size_t(outLen) * calls);
        int size = 0;
        int st = api(v).getSize(&size);
        std::vector<Okv8u> mem(size + 16);
        State* obj = nullptr;
        if (st == okvOk) st = api(v).init(&obj, mem.data() + (it & 15));
        for (int s = 0; s < calls && st == okvOk; ++s) st = api(v).filter(in + inLen * s, out + outLen * s, obj, mode);
        return st;
    });
    c.call(names[2], [&](chk::Arena& a, int v) -> int {
        const Okv32f* in = a.in<Okv32f>(64, [&](size_t) { return finite(a); });
        Okv32f* out = a.out<Okv32f>(32);
        State* obj = nullptr;
        if (const int st = api(v).initAlloc(&obj); st != okvOk) return st;
        const int st = api(v).filter(in, out, obj, 1), fr = api(v).release(obj);
        return st != okvOk ? st : fr;
    });
    c.call(names[0], [&](chk::Arena& a, int v) -> int { return api(v).getSize(it & 1 ? a.out<int>(1) : nullptr); });
    c.call(names[1], [&](chk::Arena& a, int v) -> int {
        std::vector<Okv8u> mem(2107 + 16);
        State* obj = nullptr;
        const int st = api(v).init(&obj, mem.data() + (it & 15));
        Okv32s* res = a.out<Okv32s>(2);
        res[0] = int(reinterpret_cast<Okv8u*>(obj) - mem.data());
        res[1] = reinterpret_cast<Okv32s*>(obj)[1];
        return st;
    });
    c.call(names[3], [&](chk::Arena&, int v) -> int {
        std::vector<Okv8u> block(2107 + 16, 0);
        State* obj = nullptr;
        if (it & 1) api(v).init(&obj, block.data());
        return api(v).release(reinterpret_cast<State*>(block.data()));
    });
}

}  // namespace mp3chk
