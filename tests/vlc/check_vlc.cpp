// Variant harness of the VLC family: each call builds specs through GetSize and Init at an odd address
// and through InitAlloc, runs the coders on them, frees them and is refused on a freed spec.
#include "harness/checkasm.h"
#include "vlc/vlc_test_util.h"

#define B(name) OKV_BODY(v, okvsVLC##name)

namespace {

struct Code {
    vlct::Codes e;
    vlct::Sizes s;
};
// A code's table and level sizes as the decoders' first four arguments; the table alone as the encoders'.
#define DEC(k) (k).e.data(), int((k).e.size()), (k).s.data(), int((k).s.size())
#define ENC(e) (e).data(), int((e).size())

// A random prefix code; for tuples (N values of B bits) random packed values.
Code random_code(chk::Ctx& c, int NB = 0) {
    std::mt19937 rng(c.rng().u32());
    const int n = c.rng().range(1, 200);
    int maxLen = c.rng().range(1, 24);
    while ((1 << maxLen) < n) ++maxLen;
    Code k{vlct::random_prefix_code(rng, n, maxLen), {}};
    k.s = vlct::random_sizes(rng, k.e);
    if (NB)
        for (auto& x : k.e) x.value = int32_t(c.rng().u32() & ((1u << NB) - 1));
    return k;
}

// n random codes after lead junk bits, padded; tuple codes followed by random sign bits.
std::vector<uint8_t> random_stream(chk::Ctx& c, const Code& k, int n, int lead, bool tuple) {
    vlct::BitSink s;
    s.put(c.rng().u32(), lead);
    for (int i = 0; i < n; ++i) {
        const auto& x = k.e[size_t(c.rng().range(0, int(k.e.size()) - 1))];
        s.put(x.code, x.length);
        if (tuple) s.put(c.rng().u32(), 8);
    }
    s.bytes.resize(s.bytes.size() + vlct::kPad);
    return s.bytes;
}

// Spec memory by the variant's GetSize and Init (statuses to st); the table after the 64-byte aligned
// header (which holds pointers) is compared.
struct Built {
    vlct::SpecMem m;
    int size = 0;
    template <class S>
    S* make(int* st, auto get, auto init, auto... arg) {
        st[0] = get(arg..., &size);
        auto* s = static_cast<S*>(m.at(size_t(size), 5));
        st[1] = init(arg..., s);
        return s;
    }
    void table(chk::Arena& a, int header) {
        const auto* t = reinterpret_cast<const Okv8u*>((reinterpret_cast<uintptr_t>(m.mem.data() + 5) + 63) & ~uintptr_t(63));
        if (size > header) std::memcpy(a.out<Okv8u>(size_t(size - header)), t + 64, size_t(size - header));
    }
};
#define PLAIN(b, st, k) (b).make<OkvsVLCDecodeSpec_32s>(st, B(DecodeGetSize_32s), B(DecodeInit_32s), DEC(k))
#define TUPLE(b, st, k, N, nb) \
    (b).make<OkvsVLCDecodeUTupleSpec_32s>(st, B(DecodeUTupleGetSize_32s), B(DecodeUTupleInit_32s), DEC(k), N, nb)
#define ENCODER(b, st, e) (b).make<OkvsVLCEncodeSpec_32s>(st, B(EncodeGetSize_32s), B(EncodeInit_32s), ENC(e))

}  // namespace

CHECKER(vlc) {
    for (int it = 0; it < 4 * c.iters(); ++it) {
        const int N = c.rng().range(1, 4), nb = c.rng().range(1, 5), n = c.rng().len(300), lead = c.rng().range(0, 7);
        const Code k = random_code(c), kt = random_code(c, N * nb);
        const auto bits = random_stream(c, k, n, lead, false), tbits = random_stream(c, kt, n, lead, true);
        std::vector<Okv16s> vals(chk::cap(n));
        for (auto& x : vals) x = Okv16s(k.e[size_t(c.rng().range(0, int(k.e.size()) - 1))].value);
        if (c.rng().range(0, 9) == 0) vals[0] = c.rng().i16();  // usually absent: refused
        c.call("VLC codes", [&](chk::Arena& a, int v) -> int {
            Built b[3];
            int* st = a.out<int>(16);
            // One value, a block, a block on the allocated spec t, then one value on the freed spec s (refused).
            const auto decode = [&](auto* s, auto* t, const std::vector<uint8_t>& in, auto one, auto block, auto drop, int* o) {
                const Okv8u* p = a.in_copy(in.data(), in.size());
                chk::Cursor c1(a, p, lead), cb(a, p, lead), ca(a, p, lead);
                Okv16s *ob = a.out<Okv16s>(chk::cap(n)), *oa = a.out<Okv16s>(chk::cap(n));
                o[0] = one(&c1.p, c1.off, a.out<Okv16s>(size_t(N)), s);
                o[1] = block(&cb.p, cb.off, ob, n, s) * 100 + block(&ca.p, ca.off, oa, n, t);
                drop(t), drop(s);
                o[2] = one(&c1.p, c1.off, a.out<Okv16s>(size_t(N)), s);
                c1.end(a, 0), cb.end(a, 0), ca.end(a, 0);
            };
            auto* s = PLAIN(b[0], st, k);
            OkvsVLCDecodeSpec_32s* t = nullptr;
            st[2] = B(DecodeInitAlloc_32s)(DEC(k), &t);
            b[0].table(a, 160);
            decode(s, t, bits, B(DecodeOne_1u16s), B(DecodeBlock_1u16s), B(DecodeFree_32s), st + 3);
            auto* u = TUPLE(b[1], st + 6, kt, N, nb);
            OkvsVLCDecodeUTupleSpec_32s* w = nullptr;
            st[8] = B(DecodeUTupleInitAlloc_32s)(DEC(kt), N, nb, &w);
            b[1].table(a, 176);
            decode(u, w, tbits, B(DecodeUTupleOne_1u16s), B(DecodeUTupleBlock_1u16s), B(DecodeUTupleFree_32s), st + 9);
            // The encoder alike, with a bit count.
            const Okv16s* x = a.in_copy(vals.data(), vals.size());
            const size_t cap = vals.size() * 4 + 8;
            chk::Cursor c1(a, a.out<Okv8u>(cap), lead), cb(a, a.out<Okv8u>(cap), lead), ca(a, a.out<Okv8u>(cap), lead);
            auto* e = ENCODER(b[2], st + 12, k.e);
            OkvsVLCEncodeSpec_32s* f = nullptr;
            st[14] = B(EncodeInitAlloc_32s)(ENC(k.e), &f) * 100 + B(EncodeBlock_16s1u)(x, n, &ca.p, ca.off, f);
            b[2].table(a, 132);
            st[15] = B(EncodeBlock_16s1u)(x, n, &cb.p, cb.off, e) * 100 + B(CountBits_16s32s)(x, n, a.out<Okv32s>(1), e);
            st[12] += 1000 * B(EncodeOne_16s1u)(x[0], &c1.p, c1.off, e);
            B(EncodeFree_32s)(f), B(EncodeFree_32s)(e);
            st[13] += 1000 * B(EncodeOne_16s1u)(x[0], &c1.p, c1.off, e);
            c1.end(a, 0), cb.end(a, 0), ca.end(a, 0);
            return 0;
        });
    }
    // The escape codecs on the standard tables: random bits for the decoders, values (sometimes out of range:
    // refused) for the encoders.
    using vlc_std::kAacCodebook11, vlc_std::kMp3Table24;
    const Code dec[2] = {{vlct::esc_decode_entries(kAacCodebook11, 289), {8, 8}},
                         {vlct::esc_decode_entries(kMp3Table24, 256), {9, 9}}};
    const Code tup[2] = {{vlct::tuple_entries(kAacCodebook11, 289, 5), {6, 6}},
                         {vlct::tuple_entries(kMp3Table24, 256, 4), {5, 5, 5}}};
    const vlct::Codes enc[2] = {vlct::aac_encode_entries(), vlct::mp3_encode_entries(kMp3Table24)};
    for (int it = 0; it < 2 * c.iters(); ++it) {
        const int n = c.rng().len(600), lead = c.rng().range(0, 7), lb = c.rng().range(0, 13);
        std::vector<Okv16s> vals(chk::cap(n));
        for (auto& x : vals) x = Okv16s(c.rng().range(0, 3) ? c.rng().range(-20, 20) : c.rng().range(-8300, 8300));
        std::vector<uint8_t> bits(size_t(n) * 7 + 16 + vlct::kPad);
        for (auto& b : bits) b = uint8_t(c.rng().u32() & (c.rng().range(0, 3) ? 0x33 : 0xFF));
        c.call("VLC escape codes", [&](chk::Arena& a, int v) -> int {
            int *st = a.out<int>(8), junk[2];
            const Okv8u* in = a.in_copy(bits.data(), bits.size());
            const Okv16s* x = a.in_copy(vals.data(), vals.size());
            for (int m = 0; m < 2; ++m) {
                Built b[3];
                auto* d = PLAIN(b[0], junk, dec[m]);
                auto* t = TUPLE(b[1], junk, tup[m], 2, m ? 4 : 5);
                auto* e = ENCODER(b[2], junk, enc[m]);
                chk::Cursor cd(a, in, lead), ct(a, in, lead);
                chk::Cursor ce(a, a.out<Okv8u>(vals.size() * 5 + 8), lead);
                Okv16s *od = a.out<Okv16s>(vals.size()), *ot = a.out<Okv16s>(vals.size());
                Okv32s* cnt = a.out<Okv32s>(1);
                int* o = st + 4 * m;
                if (m == 0) {
                    o[0] = B(DecodeEscBlock_AAC_1u16s)(&cd.p, cd.off, od, n, d);
                    o[1] = B(DecodeUTupleEscBlock_AAC_1u16s)(&ct.p, ct.off, ot, n, t);
                    o[2] = B(EncodeEscBlock_AAC_16s1u)(x, n, &ce.p, ce.off, e);
                    o[3] = B(CountEscBits_AAC_16s32s)(x, n, cnt, e);
                } else {
                    o[0] = B(DecodeEscBlock_MP3_1u16s)(&cd.p, cd.off, lb, od, n, d);
                    o[1] = B(DecodeUTupleEscBlock_MP3_1u16s)(&ct.p, ct.off, lb, ot, n, t);
                    o[2] = B(EncodeEscBlock_MP3_16s1u)(x, n, lb, &ce.p, ce.off, e);
                    o[3] = B(CountEscBits_MP3_16s32s)(x, n, lb, cnt, e);
                }
                cd.end(a, 0), ct.end(a, 0), ce.end(a, 0);
            }
            return 0;
        });
    }
}
