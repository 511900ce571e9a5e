// Variant harness of the VLC family: compiled tables, decoders, encoders and pair codecs.
#include "harness/checkasm.h"
#include "vlc/vlc_test_util.h"

namespace {

struct Code {
    std::vector<VLCCodeEntry> e;
    std::vector<Okv32s> sizes;
    int n() const { return int(e.size()); }
};

Code random_code(chk::Ctx& c) {
    std::mt19937 rng(c.rng().u32());
    const int n = c.rng().range(1, 200);
    int maxLen = c.rng().range(1, 24);
    while ((1 << maxLen) < n) ++maxLen;
    Code k{vlct::random_prefix_code(rng, n, maxLen), {}};
    k.sizes = vlct::random_sizes(rng, vlct::max_length(k.e));
    return k;
}

// Bytes of n random codes of k after lead junk bits, with the read-ahead
// padding; for tuples each code is followed by random bits for its signs.
std::vector<uint8_t> random_stream(chk::Ctx& c, const Code& k, int n, int lead, bool tuple = false) {
    vlct::BitSink s;
    s.put(c.rng().u32(), lead);
    for (int i = 0; i < n; ++i) {
        const auto& x = k.e[c.rng().range(0, k.n() - 1)];
        s.put(x.code, x.length);
        if (tuple) s.put(c.rng().u32(), 8);
    }
    s.bytes.resize(s.bytes.size() + vlct::kPad);
    return s.bytes;
}

// Records how far a cursor moved, as a compared output.
void record(chk::Arena& a, const void* start, const void* p, int off) {
    int* o = a.out<int>(2);
    o[0] = int(static_cast<const Okv8u*>(p) - static_cast<const Okv8u*>(start));
    o[1] = off;
}

// Copies the compiled table that follows the 64-byte header into a compared output.
void record_table(chk::Arena& a, const void* mem, int size, int extra) {
    const int bytes = size - extra;
    Okv8u* o = a.out<Okv8u>(size_t(bytes));
    const Okv8u* t = reinterpret_cast<const Okv8u*>((reinterpret_cast<uintptr_t>(mem) + 63) & ~uintptr_t(63)) + 64;
    for (int i = 0; i < bytes; ++i) o[i] = t[i];
}

// Specs built by the variant's GetSize and Init in m; Init's status and the size go to st and size.
template <class Spec>
Spec* plain_spec(vlct::SpecMem& m, int v, const Code& k, int* st = nullptr, int* size = nullptr) {
    int sz = 0;
    OKV_BODY(v, okvsVLCDecodeGetSize_32s)(k.e.data(), k.n(), k.sizes.data(), int(k.sizes.size()), &sz);
    void* mem = m.at(size_t(sz), 0);
    const int r = OKV_BODY(v, okvsVLCDecodeInit_32s)(k.e.data(), k.n(), k.sizes.data(), int(k.sizes.size()),
                                                     static_cast<OkvsVLCDecodeSpec_32s*>(mem));
    if (st) *st = r, *size = sz;
    return static_cast<Spec*>(mem);
}

template <class Spec>
Spec* tuple_spec(vlct::SpecMem& m, int v, const Code& k, int N, int B, int* st = nullptr, int* size = nullptr) {
    int sz = 0;
    OKV_BODY(v, okvsVLCDecodeUTupleGetSize_32s)(k.e.data(), k.n(), k.sizes.data(), int(k.sizes.size()), N, B, &sz);
    void* mem = m.at(size_t(sz), 0);
    const int r = OKV_BODY(v, okvsVLCDecodeUTupleInit_32s)(k.e.data(), k.n(), k.sizes.data(), int(k.sizes.size()),
                                                           N, B, static_cast<OkvsVLCDecodeUTupleSpec_32s*>(mem));
    if (st) *st = r, *size = sz;
    return static_cast<Spec*>(mem);
}

OkvsVLCEncodeSpec_32s* enc_spec(vlct::SpecMem& m, int v, const std::vector<VLCCodeEntry>& e, int* st = nullptr,
                                int* size = nullptr) {
    int sz = 0;
    OKV_BODY(v, okvsVLCEncodeGetSize_32s)(e.data(), int(e.size()), &sz);
    void* mem = m.at(size_t(sz), 0);
    const int r = OKV_BODY(v, okvsVLCEncodeInit_32s)(e.data(), int(e.size()), static_cast<OkvsVLCEncodeSpec_32s*>(mem));
    if (st) *st = r, *size = sz;
    return static_cast<OkvsVLCEncodeSpec_32s*>(mem);
}

// Decodes with fn(sm, v, &p, &off, out) from bit lead of a copy of b into count
// outputs; the cursor is compared too.
template <class Fn>
void check_decode(chk::Ctx& c, const char* name, const std::vector<uint8_t>& b, int lead, int count, Fn fn) {
    c.call(name, [&](chk::Arena& a, int v) -> int {
        vlct::SpecMem sm;
        const Okv8u* start = a.in_copy(b.data(), b.size());
        const Okv8u* p = start;
        int off = lead;
        const int st = fn(sm, v, &p, &off, a.out<Okv16s>(size_t(count > 0 ? count : 1)));
        record(a, start, p, off);
        return st;
    });
}

// Encodes vals with fn(sm, v, vals, &p, &off) from bit lead of a buffer of cap bytes.
template <class Fn>
void check_encode(chk::Ctx& c, const char* name, const std::vector<Okv16s>& vals, int lead, size_t cap, Fn fn) {
    c.call(name, [&](chk::Arena& a, int v) -> int {
        vlct::SpecMem sm;
        Okv8u* start = a.out<Okv8u>(cap);
        Okv8u* p = start;
        int off = lead;
        const int st = fn(sm, v, a.in_copy(vals.data(), vals.size()), &p, &off);
        record(a, start, p, off);
        return st;
    });
}

Code tuple_code(chk::Ctx& c, int N, int B) {
    Code k = random_code(c);
    for (auto& x : k.e) x.value = int32_t(c.rng().u32() & ((1u << (N * B)) - 1));
    return k;
}

}  // namespace

CHECK_EXPORTS(vlc_decode_tables, "okvsVLCDecodeGetSize_32s", "okvsVLCDecodeInit_32s", "okvsVLCDecodeInitAlloc_32s",
              "okvsVLCDecodeFree_32s", "okvsVLCDecodeUTupleGetSize_32s", "okvsVLCDecodeUTupleInit_32s",
              "okvsVLCDecodeUTupleInitAlloc_32s", "okvsVLCDecodeUTupleFree_32s") {
    for (int it = 0; it < c.iters(); ++it) {
        const Code k = random_code(c);
        const int N = c.rng().range(1, 3), B = c.rng().range(1, 6);
        const Code t = tuple_code(c, N, B);
        const Okv32s* sz = k.sizes.data();
        const int ns = int(k.sizes.size());
        c.call("okvsVLCDecodeGetSize_32s", [&](chk::Arena& a, int v) -> int {
            return OKV_BODY(v, okvsVLCDecodeGetSize_32s)(k.e.data(), k.n(), sz, ns, a.out<int>(1));
        });
        c.call("okvsVLCDecodeUTupleGetSize_32s", [&](chk::Arena& a, int v) -> int {
            return OKV_BODY(v, okvsVLCDecodeUTupleGetSize_32s)(t.e.data(), t.n(), t.sizes.data(), int(t.sizes.size()),
                                                               N, B, a.out<int>(1));
        });
        c.call("okvsVLCDecodeInit_32s", [&](chk::Arena& a, int v) -> int {
            vlct::SpecMem sm;
            int st, size;
            const void* m = plain_spec<void>(sm, v, k, &st, &size);
            record_table(a, m, size, 160);
            return st;
        });
        c.call("okvsVLCDecodeUTupleInit_32s", [&](chk::Arena& a, int v) -> int {
            vlct::SpecMem sm;
            int st, size;
            const void* m = tuple_spec<void>(sm, v, t, N, B, &st, &size);
            record_table(a, m, size, 176);
            return st;
        });
        const auto bytes = random_stream(c, k, 8, 0);
        const auto tbytes = random_stream(c, t, 2, 0, true);
        c.call("okvsVLCDecodeInitAlloc_32s", [&](chk::Arena& a, int v) -> int {
            OkvsVLCDecodeSpec_32s* s = nullptr;
            int st = OKV_BODY(v, okvsVLCDecodeInitAlloc_32s)(k.e.data(), k.n(), sz, ns, &s);
            const Okv8u* p = a.in_copy(bytes.data(), bytes.size());
            int off = 0;
            OKV_BODY(v, okvsVLCDecodeBlock_1u16s)(&p, &off, a.out<Okv16s>(8), 8, s);
            OKV_BODY(v, okvsVLCDecodeFree_32s)(s);
            return st;
        });
        c.call("okvsVLCDecodeFree_32s", [&](chk::Arena& a, int v) -> int {
            vlct::SpecMem sm;
            auto* s = plain_spec<OkvsVLCDecodeSpec_32s>(sm, v, k);
            OKV_BODY(v, okvsVLCDecodeFree_32s)(s);
            const Okv8u* p = a.in_copy(bytes.data(), bytes.size());
            int off = 0;
            return OKV_BODY(v, okvsVLCDecodeOne_1u16s)(&p, &off, a.out<Okv16s>(1), s);  // refused after Free
        });
        c.call("okvsVLCDecodeUTupleInitAlloc_32s", [&](chk::Arena& a, int v) -> int {
            OkvsVLCDecodeUTupleSpec_32s* s = nullptr;
            int st = OKV_BODY(v, okvsVLCDecodeUTupleInitAlloc_32s)(t.e.data(), t.n(), t.sizes.data(),
                                                                   int(t.sizes.size()), N, B, &s);
            const Okv8u* p = a.in_copy(tbytes.data(), tbytes.size());
            int off = 0;
            OKV_BODY(v, okvsVLCDecodeUTupleOne_1u16s)(&p, &off, a.out<Okv16s>(size_t(N)), s);
            OKV_BODY(v, okvsVLCDecodeUTupleFree_32s)(s);
            return st;
        });
        c.call("okvsVLCDecodeUTupleFree_32s", [&](chk::Arena& a, int v) -> int {
            vlct::SpecMem sm;
            auto* s = tuple_spec<OkvsVLCDecodeUTupleSpec_32s>(sm, v, t, N, B);
            OKV_BODY(v, okvsVLCDecodeUTupleFree_32s)(s);
            const Okv8u* p = a.in_copy(tbytes.data(), tbytes.size());
            int off = 0;
            return OKV_BODY(v, okvsVLCDecodeUTupleOne_1u16s)(&p, &off, a.out<Okv16s>(size_t(N)), s);
        });
    }
}

CHECK_EXPORTS(vlc_decode, "okvsVLCDecodeOne_1u16s", "okvsVLCDecodeBlock_1u16s", "okvsVLCDecodeUTupleOne_1u16s",
              "okvsVLCDecodeUTupleBlock_1u16s") {
    for (int it = 0; it < c.iters(); ++it) {
        const Code k = random_code(c);
        const int N = c.rng().range(1, 4), B = c.rng().range(1, 5);
        const Code t = tuple_code(c, N, B);
        const int n = c.rng().len(300), lead = c.rng().range(0, 7);
        const auto bytes = random_stream(c, k, n, lead);
        const auto tbytes = random_stream(c, t, n, lead, true);
        auto decode = [&](const char* name, const std::vector<uint8_t>& b, int count, auto fn) {
            check_decode(c, name, b, lead, count, fn);
        };
        decode("okvsVLCDecodeOne_1u16s", bytes, 1, [&](vlct::SpecMem& sm, int v, const Okv8u** p, int* o, Okv16s* d) {
            return OKV_BODY(v, okvsVLCDecodeOne_1u16s)(p, o, d, plain_spec<OkvsVLCDecodeSpec_32s>(sm, v, k));
        });
        decode("okvsVLCDecodeBlock_1u16s", bytes, n, [&](vlct::SpecMem& sm, int v, const Okv8u** p, int* o, Okv16s* d) {
            return OKV_BODY(v, okvsVLCDecodeBlock_1u16s)(p, o, d, n, plain_spec<OkvsVLCDecodeSpec_32s>(sm, v, k));
        });
        decode("okvsVLCDecodeUTupleOne_1u16s", tbytes, N, [&](vlct::SpecMem& sm, int v, const Okv8u** p, int* o, Okv16s* d) {
            return OKV_BODY(v, okvsVLCDecodeUTupleOne_1u16s)(p, o, d,
                                                            tuple_spec<OkvsVLCDecodeUTupleSpec_32s>(sm, v, t, N, B));
        });
        decode("okvsVLCDecodeUTupleBlock_1u16s", tbytes, n, [&](vlct::SpecMem& sm, int v, const Okv8u** p, int* o, Okv16s* d) {
            return OKV_BODY(v, okvsVLCDecodeUTupleBlock_1u16s)(p, o, d, n,
                                                              tuple_spec<OkvsVLCDecodeUTupleSpec_32s>(sm, v, t, N, B));
        });
    }
}

CHECK_EXPORTS(vlc_encode, "okvsVLCEncodeGetSize_32s", "okvsVLCEncodeInit_32s", "okvsVLCEncodeInitAlloc_32s",
              "okvsVLCEncodeFree_32s", "okvsVLCEncodeOne_16s1u", "okvsVLCEncodeBlock_16s1u", "okvsVLCCountBits_16s32s") {
    for (int it = 0; it < c.iters(); ++it) {
        const Code k = random_code(c);
        const int n = c.rng().len(300), lead = c.rng().range(0, 7);
        std::vector<Okv16s> vals(size_t(n > 0 ? n : 1));
        for (auto& x : vals) x = Okv16s(k.e[c.rng().range(0, k.n() - 1)].value);
        if (c.rng().range(0, 9) == 0) vals[0] = c.rng().i16();  // usually absent: refused
        const size_t cap = vals.size() * 4 + 8;
        auto encode = [&](const char* name, auto fn) { check_encode(c, name, vals, lead, cap, fn); };
        c.call("okvsVLCEncodeGetSize_32s", [&](chk::Arena& a, int v) -> int {
            return OKV_BODY(v, okvsVLCEncodeGetSize_32s)(k.e.data(), k.n(), a.out<int>(1));
        });
        c.call("okvsVLCEncodeInit_32s", [&](chk::Arena& a, int v) -> int {
            vlct::SpecMem sm;
            int st, size;
            const void* m = enc_spec(sm, v, k.e, &st, &size);
            record_table(a, m, size, 132);
            return st;
        });
        encode("okvsVLCEncodeInitAlloc_32s", [&](vlct::SpecMem&, int v, const Okv16s* s, Okv8u** p, int* o) {
            OkvsVLCEncodeSpec_32s* spec = nullptr;
            int st = OKV_BODY(v, okvsVLCEncodeInitAlloc_32s)(k.e.data(), k.n(), &spec);
            OKV_BODY(v, okvsVLCEncodeBlock_16s1u)(s, n, p, o, spec);
            OKV_BODY(v, okvsVLCEncodeFree_32s)(spec);
            return st;
        });
        encode("okvsVLCEncodeFree_32s", [&](vlct::SpecMem& sm, int v, const Okv16s* s, Okv8u** p, int* o) {
            auto* spec = enc_spec(sm, v, k.e);
            OKV_BODY(v, okvsVLCEncodeFree_32s)(spec);
            return OKV_BODY(v, okvsVLCEncodeOne_16s1u)(s[0], p, o, spec);
        });
        encode("okvsVLCEncodeOne_16s1u", [&](vlct::SpecMem& sm, int v, const Okv16s* s, Okv8u** p, int* o) {
            return OKV_BODY(v, okvsVLCEncodeOne_16s1u)(s[0], p, o, enc_spec(sm, v, k.e));
        });
        encode("okvsVLCEncodeBlock_16s1u", [&](vlct::SpecMem& sm, int v, const Okv16s* s, Okv8u** p, int* o) {
            return OKV_BODY(v, okvsVLCEncodeBlock_16s1u)(s, n, p, o, enc_spec(sm, v, k.e));
        });
        c.call("okvsVLCCountBits_16s32s", [&](chk::Arena& a, int v) -> int {
            vlct::SpecMem sm;
            return OKV_BODY(v, okvsVLCCountBits_16s32s)(a.in_copy(vals.data(), vals.size()), n, a.out<Okv32s>(1),
                                                        enc_spec(sm, v, k.e));
        });
    }
}

CHECK_EXPORTS(vlc_escape, "okvsVLCDecodeEscBlock_AAC_1u16s", "okvsVLCDecodeEscBlock_MP3_1u16s",
              "okvsVLCDecodeUTupleEscBlock_AAC_1u16s", "okvsVLCDecodeUTupleEscBlock_MP3_1u16s",
              "okvsVLCEncodeEscBlock_AAC_16s1u", "okvsVLCEncodeEscBlock_MP3_16s1u", "okvsVLCCountEscBits_AAC_16s32s",
              "okvsVLCCountEscBits_MP3_16s32s") {
    const Code aac{vlct::esc_decode_entries(vlc_std::kAacCodebook11, 289), {8, 8}};
    const Code aacT{vlct::tuple_entries(vlc_std::kAacCodebook11, 289, 5), {6, 6}};
    const auto aacE = vlct::aac_encode_entries();
    const Code mp3{vlct::esc_decode_entries(vlc_std::kMp3Table24, 256), {9, 9}};
    const Code mp3T{vlct::tuple_entries(vlc_std::kMp3Table24, 256, 4), {5, 5, 5}};
    const auto mp3E = vlct::mp3_encode_entries(vlc_std::kMp3Table24);
    for (int it = 0; it < c.iters(); ++it) {
        const int n = c.rng().len(600), lead = c.rng().range(0, 7), linbits = c.rng().range(0, 13);
        // Values for the encoders (sometimes out of range: refused), random bits for the decoders.
        std::vector<Okv16s> vals(size_t(n > 0 ? n : 1));
        for (auto& x : vals) x = Okv16s(c.rng().range(0, 3) ? c.rng().range(-20, 20) : c.rng().range(-8300, 8300));
        std::vector<uint8_t> bits(size_t(n) * 7 + 16 + vlct::kPad);
        for (auto& b : bits) b = uint8_t(c.rng().u32() & (c.rng().range(0, 3) ? 0x33 : 0xFF));
        auto decode = [&](const char* name, auto fn) { check_decode(c, name, bits, lead, int(vals.size()), fn); };
        auto encode = [&](const char* name, auto fn) { check_encode(c, name, vals, lead, vals.size() * 5 + 8, fn); };
        decode("okvsVLCDecodeEscBlock_AAC_1u16s", [&](vlct::SpecMem& sm, int v, const Okv8u** p, int* o, Okv16s* d) {
            return OKV_BODY(v, okvsVLCDecodeEscBlock_AAC_1u16s)(p, o, d, n, plain_spec<OkvsVLCDecodeSpec_32s>(sm, v, aac));
        });
        decode("okvsVLCDecodeEscBlock_MP3_1u16s", [&](vlct::SpecMem& sm, int v, const Okv8u** p, int* o, Okv16s* d) {
            return OKV_BODY(v, okvsVLCDecodeEscBlock_MP3_1u16s)(p, o, linbits, d, n,
                                                               plain_spec<OkvsVLCDecodeSpec_32s>(sm, v, mp3));
        });
        decode("okvsVLCDecodeUTupleEscBlock_AAC_1u16s", [&](vlct::SpecMem& sm, int v, const Okv8u** p, int* o, Okv16s* d) {
            return OKV_BODY(v, okvsVLCDecodeUTupleEscBlock_AAC_1u16s)(
                p, o, d, n, tuple_spec<OkvsVLCDecodeUTupleSpec_32s>(sm, v, aacT, 2, 5));
        });
        decode("okvsVLCDecodeUTupleEscBlock_MP3_1u16s", [&](vlct::SpecMem& sm, int v, const Okv8u** p, int* o, Okv16s* d) {
            return OKV_BODY(v, okvsVLCDecodeUTupleEscBlock_MP3_1u16s)(
                p, o, linbits, d, n, tuple_spec<OkvsVLCDecodeUTupleSpec_32s>(sm, v, mp3T, 2, 4));
        });
        encode("okvsVLCEncodeEscBlock_AAC_16s1u", [&](vlct::SpecMem& sm, int v, const Okv16s* s, Okv8u** p, int* o) {
            return OKV_BODY(v, okvsVLCEncodeEscBlock_AAC_16s1u)(s, n, p, o, enc_spec(sm, v, aacE));
        });
        encode("okvsVLCEncodeEscBlock_MP3_16s1u", [&](vlct::SpecMem& sm, int v, const Okv16s* s, Okv8u** p, int* o) {
            return OKV_BODY(v, okvsVLCEncodeEscBlock_MP3_16s1u)(s, n, linbits, p, o, enc_spec(sm, v, mp3E));
        });
        c.call("okvsVLCCountEscBits_AAC_16s32s", [&](chk::Arena& a, int v) -> int {
            vlct::SpecMem sm;
            return OKV_BODY(v, okvsVLCCountEscBits_AAC_16s32s)(a.in_copy(vals.data(), vals.size()), n,
                                                               a.out<Okv32s>(1), enc_spec(sm, v, aacE));
        });
        c.call("okvsVLCCountEscBits_MP3_16s32s", [&](chk::Arena& a, int v) -> int {
            vlct::SpecMem sm;
            return OKV_BODY(v, okvsVLCCountEscBits_MP3_16s32s)(a.in_copy(vals.data(), vals.size()), n, linbits,
                                                               a.out<Okv32s>(1), enc_spec(sm, v, mp3E));
        });
    }
}
