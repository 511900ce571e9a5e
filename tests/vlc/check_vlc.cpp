// Variant harness of the VLC family: each call chains exports on one code, named after each in turn.
#include "harness/checkasm.h"
#include "vlc/vlc_test_util.h"

#define B(name) OKV_BODY(v, name)

namespace {

struct Code {
    vlct::Codes e;
    vlct::Sizes s;
    const VLCCodeEntry* d() const { return e.data(); }
    int n() const { return int(e.size()); }
    const Okv32s* sd() const { return s.data(); }
    int ns() const { return int(s.size()); }
};

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
        const auto& x = k.e[size_t(c.rng().range(0, k.n() - 1))];
        s.put(x.code, x.length);
        if (tuple) s.put(c.rng().u32(), 8);
    }
    s.bytes.resize(s.bytes.size() + vlct::kPad);
    return s.bytes;
}

// Spec memory; the table after the 64-byte aligned header (which holds pointers) is compared.
struct Built {
    vlct::SpecMem m;
    int size = 0;
    void* at() { return m.at(size_t(size), 5); }
    void table(chk::Arena& a, int header) {
        const auto* t = reinterpret_cast<const Okv8u*>((reinterpret_cast<uintptr_t>(m.mem.data() + 5) + 63) & ~uintptr_t(63)) + 64;
        if (size > header) std::memcpy(a.out<Okv8u>(size_t(size - header)), t, size_t(size - header));
    }
};

// A read or write position from bit lead of a buffer; where it ends is a compared output.
template <class T>
struct Cursor {
    T *start, *p;
    int off;
    Cursor(T* buf, int lead) : start(buf), p(buf), off(lead) {}
    void record(chk::Arena& a) {
        int* o = a.out<int>(2);
        o[0] = int(p - start), o[1] = off;
    }
};

// Specs built by the variant's GetSize and Init in b; the two statuses go to st.
OkvsVLCDecodeSpec_32s* plain(Built& b, int v, const Code& k, int* st) {
    st[0] = B(okvsVLCDecodeGetSize_32s)(k.d(), k.n(), k.sd(), k.ns(), &b.size);
    auto* s = static_cast<OkvsVLCDecodeSpec_32s*>(b.at());
    st[1] = B(okvsVLCDecodeInit_32s)(k.d(), k.n(), k.sd(), k.ns(), s);
    return s;
}
OkvsVLCDecodeUTupleSpec_32s* tuple(Built& b, int v, const Code& k, int N, int nb, int* st) {
    st[0] = B(okvsVLCDecodeUTupleGetSize_32s)(k.d(), k.n(), k.sd(), k.ns(), N, nb, &b.size);
    auto* s = static_cast<OkvsVLCDecodeUTupleSpec_32s*>(b.at());
    st[1] = B(okvsVLCDecodeUTupleInit_32s)(k.d(), k.n(), k.sd(), k.ns(), N, nb, s);
    return s;
}
OkvsVLCEncodeSpec_32s* encoder(Built& b, int v, const vlct::Codes& e, int* st) {
    st[0] = B(okvsVLCEncodeGetSize_32s)(e.data(), int(e.size()), &b.size);
    auto* s = static_cast<OkvsVLCEncodeSpec_32s*>(b.at());
    st[1] = B(okvsVLCEncodeInit_32s)(e.data(), int(e.size()), s);
    return s;
}

}  // namespace

#define DECODE_EXPORTS                                                                                           \
    "okvsVLCDecodeGetSize_32s", "okvsVLCDecodeInit_32s", "okvsVLCDecodeInitAlloc_32s", "okvsVLCDecodeFree_32s",   \
        "okvsVLCDecodeOne_1u16s", "okvsVLCDecodeBlock_1u16s", "okvsVLCDecodeUTupleGetSize_32s",                    \
        "okvsVLCDecodeUTupleInit_32s", "okvsVLCDecodeUTupleInitAlloc_32s", "okvsVLCDecodeUTupleFree_32s",          \
        "okvsVLCDecodeUTupleOne_1u16s", "okvsVLCDecodeUTupleBlock_1u16s"

CHECKER(vlc_decode) {
    const char* names[] = {DECODE_EXPORTS};
    for (int it = 0; it < 4 * c.iters(); ++it) {
        const int N = c.rng().range(1, 4), nb = c.rng().range(1, 5), n = c.rng().len(300), lead = c.rng().range(0, 7);
        const bool tup = it % 12 >= 6;
        const Code k = random_code(c, tup ? N * nb : 0);
        const auto bytes = random_stream(c, k, n, lead, tup);
        c.call(names[it % 12], [&](chk::Arena& a, int v) -> int {
            Built b;
            int* st = a.out<int>(6);
            const Okv8u* in = a.in_copy(bytes.data(), bytes.size());
            Cursor one(in, lead), block(in, lead), alloc(in, lead);
            Okv16s *o1 = a.out<Okv16s>(size_t(N)), *ob = a.out<Okv16s>(chk::cap(n)), *oa = a.out<Okv16s>(chk::cap(n));
            // Both forms: one value, a block, a block with an allocated spec, and one value from the freed spec.
            const auto run = [&](auto* s, auto* t, auto decOne, auto decBlock, auto release) {
                b.table(a, tup ? 176 : 160);
                st[2] = decOne(&one.p, &one.off, o1, s);
                st[3] = decBlock(&block.p, &block.off, ob, n, s);
                st[5] = decBlock(&alloc.p, &alloc.off, oa, n, t);
                release(t), release(s);
                st[2] += 100 * decOne(&one.p, &one.off, o1, s);  // freed: refused
            };
            if (tup) {
                auto* s = tuple(b, v, k, N, nb, st);
                OkvsVLCDecodeUTupleSpec_32s* t = nullptr;
                st[4] = B(okvsVLCDecodeUTupleInitAlloc_32s)(k.d(), k.n(), k.sd(), k.ns(), N, nb, &t);
                run(s, t, B(okvsVLCDecodeUTupleOne_1u16s), B(okvsVLCDecodeUTupleBlock_1u16s), B(okvsVLCDecodeUTupleFree_32s));
            } else {
                auto* s = plain(b, v, k, st);
                OkvsVLCDecodeSpec_32s* t = nullptr;
                st[4] = B(okvsVLCDecodeInitAlloc_32s)(k.d(), k.n(), k.sd(), k.ns(), &t);
                run(s, t, B(okvsVLCDecodeOne_1u16s), B(okvsVLCDecodeBlock_1u16s), B(okvsVLCDecodeFree_32s));
            }
            one.record(a), block.record(a), alloc.record(a);
            return 0;
        });
    }
}

#define ENCODE_EXPORTS                                                                                    \
    "okvsVLCEncodeGetSize_32s", "okvsVLCEncodeInit_32s", "okvsVLCEncodeInitAlloc_32s", "okvsVLCEncodeFree_32s", \
        "okvsVLCEncodeOne_16s1u", "okvsVLCEncodeBlock_16s1u", "okvsVLCCountBits_16s32s"

CHECKER(vlc_encode) {
    const char* names[] = {ENCODE_EXPORTS};
    for (int it = 0; it < 2 * c.iters(); ++it) {
        const Code k = random_code(c);
        const int n = c.rng().len(300), lead = c.rng().range(0, 7);
        std::vector<Okv16s> vals(chk::cap(n));
        for (auto& x : vals) x = Okv16s(k.e[size_t(c.rng().range(0, k.n() - 1))].value);
        if (c.rng().range(0, 9) == 0) vals[0] = c.rng().i16();  // usually absent: refused
        const size_t cap = vals.size() * 4 + 8;
        c.call(names[it % 7], [&](chk::Arena& a, int v) -> int {
            Built b;
            int* st = a.out<int>(5);
            const Okv16s* x = a.in_copy(vals.data(), vals.size());
            Cursor one(a.out<Okv8u>(cap), lead), block(a.out<Okv8u>(cap), lead), alloc(a.out<Okv8u>(cap), lead);
            auto* s = encoder(b, v, k.e, st);
            b.table(a, 132);
            st[2] = B(okvsVLCEncodeOne_16s1u)(x[0], &one.p, &one.off, s);
            st[3] = B(okvsVLCEncodeBlock_16s1u)(x, n, &block.p, &block.off, s) * 100 + B(okvsVLCCountBits_16s32s)(x, n, a.out<Okv32s>(1), s);
            OkvsVLCEncodeSpec_32s* t = nullptr;
            st[4] = B(okvsVLCEncodeInitAlloc_32s)(k.d(), k.n(), &t) * 100 + B(okvsVLCEncodeBlock_16s1u)(x, n, &alloc.p, &alloc.off, t);
            B(okvsVLCEncodeFree_32s)(t);
            B(okvsVLCEncodeFree_32s)(s);
            st[2] += 100 * B(okvsVLCEncodeOne_16s1u)(x[0], &one.p, &one.off, s);  // freed: refused
            one.record(a), block.record(a), alloc.record(a);
            return 0;
        });
    }
}

#define ESCAPE_EXPORTS                                                                                      \
    "okvsVLCDecodeEscBlock_AAC_1u16s", "okvsVLCDecodeUTupleEscBlock_AAC_1u16s", "okvsVLCEncodeEscBlock_AAC_16s1u", \
        "okvsVLCCountEscBits_AAC_16s32s", "okvsVLCDecodeEscBlock_MP3_1u16s", "okvsVLCDecodeUTupleEscBlock_MP3_1u16s", \
        "okvsVLCEncodeEscBlock_MP3_16s1u", "okvsVLCCountEscBits_MP3_16s32s"

CHECKER(vlc_escape) {
    const char* names[] = {ESCAPE_EXPORTS};
    using vlc_std::kAacCodebook11, vlc_std::kMp3Table24;
    const Code dec[2] = {{vlct::esc_decode_entries(kAacCodebook11, 289), {8, 8}}, {vlct::esc_decode_entries(kMp3Table24, 256), {9, 9}}};
    const Code tup[2] = {{vlct::tuple_entries(kAacCodebook11, 289, 5), {6, 6}}, {vlct::tuple_entries(kMp3Table24, 256, 4), {5, 5, 5}}};
    const vlct::Codes enc[2] = {vlct::aac_encode_entries(), vlct::mp3_encode_entries(kMp3Table24)};
    for (int it = 0; it < 2 * c.iters(); ++it) {
        const int n = c.rng().len(600), lead = c.rng().range(0, 7), lb = c.rng().range(0, 13);
        // Values for the encoders (sometimes out of range: refused), random bits for the decoders.
        std::vector<Okv16s> vals(chk::cap(n));
        for (auto& x : vals) x = Okv16s(c.rng().range(0, 3) ? c.rng().range(-20, 20) : c.rng().range(-8300, 8300));
        std::vector<uint8_t> bits(size_t(n) * 7 + 16 + vlct::kPad);
        for (auto& b : bits) b = uint8_t(c.rng().u32() & (c.rng().range(0, 3) ? 0x33 : 0xFF));
        c.call(names[it % 8], [&](chk::Arena& a, int v) -> int {
            int *st = a.out<int>(8), junk[2];
            const Okv8u* in = a.in_copy(bits.data(), bits.size());
            const Okv16s* x = a.in_copy(vals.data(), vals.size());
            for (int m = 0; m < 2; ++m) {
                Built b[3];
                auto* d = plain(b[0], v, dec[m], junk);
                auto* t = tuple(b[1], v, tup[m], 2, m ? 4 : 5, junk);
                auto* e = encoder(b[2], v, enc[m], junk);
                Cursor cd(in, lead), ct(in, lead);
                Cursor ce(a.out<Okv8u>(vals.size() * 5 + 8), lead);
                Okv16s *od = a.out<Okv16s>(vals.size()), *ot = a.out<Okv16s>(vals.size());
                Okv32s* cnt = a.out<Okv32s>(1);
                int* o = st + 4 * m;
                if (m == 0) {
                    o[0] = B(okvsVLCDecodeEscBlock_AAC_1u16s)(&cd.p, &cd.off, od, n, d);
                    o[1] = B(okvsVLCDecodeUTupleEscBlock_AAC_1u16s)(&ct.p, &ct.off, ot, n, t);
                    o[2] = B(okvsVLCEncodeEscBlock_AAC_16s1u)(x, n, &ce.p, &ce.off, e);
                    o[3] = B(okvsVLCCountEscBits_AAC_16s32s)(x, n, cnt, e);
                } else {
                    o[0] = B(okvsVLCDecodeEscBlock_MP3_1u16s)(&cd.p, &cd.off, lb, od, n, d);
                    o[1] = B(okvsVLCDecodeUTupleEscBlock_MP3_1u16s)(&ct.p, &ct.off, lb, ot, n, t);
                    o[2] = B(okvsVLCEncodeEscBlock_MP3_16s1u)(x, n, lb, &ce.p, &ce.off, e);
                    o[3] = B(okvsVLCCountEscBits_MP3_16s32s)(x, n, lb, cnt, e);
                }
                cd.record(a), ct.record(a), ce.record(a);
            }
            return 0;
        });
    }
}
