// Variant harness of the VLC family: compiled tables, decoders, encoders and pair codecs.
#include "harness/checkasm.h"
#include "vlc/vlc_test_util.h"

namespace {

using S = vlct::SpecMem;
using In = const Okv8u**;

struct Code {
    std::vector<VLCCodeEntry> e;
    std::vector<Okv32s> sizes;
    int n() const { return int(e.size()); }
    int ns() const { return int(sizes.size()); }
};

// A random prefix code; for tuples (N values of B bits) random packed values.
Code random_code(chk::Ctx& c, int NB = 0) {
    std::mt19937 rng(c.rng().u32());
    const int n = c.rng().range(1, 200);
    int maxLen = c.rng().range(1, 24);
    while ((1 << maxLen) < n) ++maxLen;
    Code k{vlct::random_prefix_code(rng, n, maxLen), {}};
    k.sizes = vlct::random_sizes(rng, vlct::max_length(k.e));
    if (NB)
        for (auto& x : k.e) x.value = int32_t(c.rng().u32() & ((1u << NB) - 1));
    return k;
}

// Bytes of n random codes of k after lead junk bits, with the read-ahead padding; for tuples
// each code is followed by random bits for its signs.
std::vector<uint8_t> random_stream(chk::Ctx& c, const Code& k, int n, int lead, bool tuple = false) {
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

// How far a cursor moved, as a compared output.
void record(chk::Arena& a, const void* start, const void* p, int off) {
    int* o = a.out<int>(2);
    o[0] = int(static_cast<const Okv8u*>(p) - static_cast<const Okv8u*>(start));
    o[1] = off;
}

// A spec built by the variant's GetSize and Init; with a, Init's status, and the compiled table
// that follows the 64-byte header (the header holds pointers, which differ), are compared outputs.
template <class Spec, class Size, class Init>
Spec* build(S& m, Size size, Init init, chk::Arena* a = nullptr, int header = 0) {
    int sz = 0;
    size(&sz);
    auto* spec = static_cast<Spec*>(m.at(size_t(sz), 0));
    const int st = init(spec);
    if (a) {
        a->out<int>(1)[0] = st;
        const Okv8u* t = reinterpret_cast<const Okv8u*>((reinterpret_cast<uintptr_t>(spec) + 63) & ~uintptr_t(63)) + 64;
        std::memcpy(a->out<Okv8u>(size_t(sz - header)), t, size_t(sz - header));
    }
    return spec;
}

OkvsVLCDecodeSpec_32s* plain(S& m, int v, const Code& k, chk::Arena* a = nullptr) {
    return build<OkvsVLCDecodeSpec_32s>(
        m, [&](int* s) { return OKV_BODY(v, okvsVLCDecodeGetSize_32s)(k.e.data(), k.n(), k.sizes.data(), k.ns(), s); },
        [&](auto* p) { return OKV_BODY(v, okvsVLCDecodeInit_32s)(k.e.data(), k.n(), k.sizes.data(), k.ns(), p); }, a, 160);
}

OkvsVLCDecodeUTupleSpec_32s* tuple(S& m, int v, const Code& k, int N, int B, chk::Arena* a = nullptr) {
    return build<OkvsVLCDecodeUTupleSpec_32s>(
        m,
        [&](int* s) {
            return OKV_BODY(v, okvsVLCDecodeUTupleGetSize_32s)(k.e.data(), k.n(), k.sizes.data(), k.ns(), N, B, s);
        },
        [&](auto* p) {
            return OKV_BODY(v, okvsVLCDecodeUTupleInit_32s)(k.e.data(), k.n(), k.sizes.data(), k.ns(), N, B, p);
        },
        a, 176);
}

OkvsVLCEncodeSpec_32s* enc(S& m, int v, const std::vector<VLCCodeEntry>& e, chk::Arena* a = nullptr) {
    return build<OkvsVLCEncodeSpec_32s>(
        m, [&](int* s) { return OKV_BODY(v, okvsVLCEncodeGetSize_32s)(e.data(), int(e.size()), s); },
        [&](auto* p) { return OKV_BODY(v, okvsVLCEncodeInit_32s)(e.data(), int(e.size()), p); }, a, 132);
}

using DecodeFn = std::function<int(S&, int, In, int*, Okv16s*)>;
using EncodeFn = std::function<int(S&, int, const Okv16s*, Okv8u**, int*)>;

// Decodes with fn from bit lead of a copy of b into count outputs; the cursor is compared too.
void check_decode(chk::Ctx& c, const char* name, const std::vector<uint8_t>& b, int lead, int count,
                  const DecodeFn& fn) {
    c.call(name, [&](chk::Arena& a, int v) -> int {
        S sm;
        const Okv8u *start = a.in_copy(b.data(), b.size()), *p = start;
        int off = lead;
        const int st = fn(sm, v, &p, &off, a.out<Okv16s>(chk::cap(count)));
        record(a, start, p, off);
        return st;
    });
}

// Encodes vals with fn from bit lead of a buffer of cap bytes.
void check_encode(chk::Ctx& c, const char* name, const std::vector<Okv16s>& vals, int lead, size_t cap,
                  const EncodeFn& fn) {
    c.call(name, [&](chk::Arena& a, int v) -> int {
        S sm;
        Okv8u *start = a.out<Okv8u>(cap), *p = start;
        int off = lead;
        const int st = fn(sm, v, a.in_copy(vals.data(), vals.size()), &p, &off);
        record(a, start, p, off);
        return st;
    });
}

}  // namespace

CHECK_EXPORTS(vlc_decode, "okvsVLCDecodeGetSize_32s", "okvsVLCDecodeInit_32s", "okvsVLCDecodeInitAlloc_32s",
              "okvsVLCDecodeFree_32s", "okvsVLCDecodeUTupleGetSize_32s", "okvsVLCDecodeUTupleInit_32s",
              "okvsVLCDecodeUTupleInitAlloc_32s", "okvsVLCDecodeUTupleFree_32s", "okvsVLCDecodeOne_1u16s",
              "okvsVLCDecodeBlock_1u16s", "okvsVLCDecodeUTupleOne_1u16s", "okvsVLCDecodeUTupleBlock_1u16s") {
    for (int it = 0; it < c.iters(); ++it) {
        const int N = c.rng().range(1, 4), B = c.rng().range(1, 5), n = c.rng().len(300), lead = c.rng().range(0, 7);
        const Code k = random_code(c), t = random_code(c, N * B);
        const auto bytes = random_stream(c, k, n, lead), tbytes = random_stream(c, t, n, lead, true);
        c.call(it % 2 ? "okvsVLCDecodeGetSize_32s" : "okvsVLCDecodeInit_32s", [&](chk::Arena& a, int v) -> int {
            S sm;
            plain(sm, v, k, &a);
            return 0;
        });
        c.call(it % 2 ? "okvsVLCDecodeUTupleGetSize_32s" : "okvsVLCDecodeUTupleInit_32s", [&](chk::Arena& a, int v) -> int {
            S sm;
            tuple(sm, v, t, N, B, &a);
            return 0;
        });
        // Allocated specs decode like built ones; Free marks caller memory, which is refused afterwards.
        const DecodeFn life[2] = {
            [&](S& sm, int v, In p, int* o, Okv16s* d) {
                OkvsVLCDecodeSpec_32s* s = nullptr;
                const int st = OKV_BODY(v, okvsVLCDecodeInitAlloc_32s)(k.e.data(), k.n(), k.sizes.data(), k.ns(), &s);
                const int r = OKV_BODY(v, okvsVLCDecodeBlock_1u16s)(p, o, d, n, s);
                OKV_BODY(v, okvsVLCDecodeFree_32s)(s);
                auto* own = plain(sm, v, k);
                OKV_BODY(v, okvsVLCDecodeFree_32s)(own);
                return st * 10000 + r * 100 + OKV_BODY(v, okvsVLCDecodeOne_1u16s)(p, o, d, own);
            },
            [&](S& sm, int v, In p, int* o, Okv16s* d) {
                OkvsVLCDecodeUTupleSpec_32s* s = nullptr;
                const int st =
                    OKV_BODY(v, okvsVLCDecodeUTupleInitAlloc_32s)(t.e.data(), t.n(), t.sizes.data(), t.ns(), N, B, &s);
                const int r = OKV_BODY(v, okvsVLCDecodeUTupleBlock_1u16s)(p, o, d, n, s);
                OKV_BODY(v, okvsVLCDecodeUTupleFree_32s)(s);
                auto* own = tuple(sm, v, t, N, B);
                OKV_BODY(v, okvsVLCDecodeUTupleFree_32s)(own);
                return st * 10000 + r * 100 + OKV_BODY(v, okvsVLCDecodeUTupleOne_1u16s)(p, o, d, own);
            }};
        check_decode(c, it % 2 ? "okvsVLCDecodeInitAlloc_32s" : "okvsVLCDecodeFree_32s", bytes, lead, n, life[0]);
        check_decode(c, it % 2 ? "okvsVLCDecodeUTupleInitAlloc_32s" : "okvsVLCDecodeUTupleFree_32s", tbytes, lead, n, life[1]);
        check_decode(c, "okvsVLCDecodeOne_1u16s", bytes, lead, 1, [&](S& sm, int v, In p, int* o, Okv16s* d) {
            return OKV_BODY(v, okvsVLCDecodeOne_1u16s)(p, o, d, plain(sm, v, k));
        });
        check_decode(c, "okvsVLCDecodeBlock_1u16s", bytes, lead, n, [&](S& sm, int v, In p, int* o, Okv16s* d) {
            return OKV_BODY(v, okvsVLCDecodeBlock_1u16s)(p, o, d, n, plain(sm, v, k));
        });
        check_decode(c, "okvsVLCDecodeUTupleOne_1u16s", tbytes, lead, N, [&](S& sm, int v, In p, int* o, Okv16s* d) {
            return OKV_BODY(v, okvsVLCDecodeUTupleOne_1u16s)(p, o, d, tuple(sm, v, t, N, B));
        });
        check_decode(c, "okvsVLCDecodeUTupleBlock_1u16s", tbytes, lead, n, [&](S& sm, int v, In p, int* o, Okv16s* d) {
            return OKV_BODY(v, okvsVLCDecodeUTupleBlock_1u16s)(p, o, d, n, tuple(sm, v, t, N, B));
        });
    }
}

CHECK_EXPORTS(vlc_encode, "okvsVLCEncodeGetSize_32s", "okvsVLCEncodeInit_32s", "okvsVLCEncodeInitAlloc_32s",
              "okvsVLCEncodeFree_32s", "okvsVLCEncodeOne_16s1u", "okvsVLCEncodeBlock_16s1u", "okvsVLCCountBits_16s32s") {
    for (int it = 0; it < c.iters(); ++it) {
        const Code k = random_code(c);
        const int n = c.rng().len(300), lead = c.rng().range(0, 7);
        std::vector<Okv16s> vals(chk::cap(n));
        for (auto& x : vals) x = Okv16s(k.e[size_t(c.rng().range(0, k.n() - 1))].value);
        if (c.rng().range(0, 9) == 0) vals[0] = c.rng().i16();  // usually absent: refused
        const size_t cap = vals.size() * 4 + 8;
        c.call(it % 2 ? "okvsVLCEncodeGetSize_32s" : "okvsVLCEncodeInit_32s", [&](chk::Arena& a, int v) -> int {
            S sm;
            enc(sm, v, k.e, &a);
            return 0;
        });
        check_encode(c, it % 2 ? "okvsVLCEncodeInitAlloc_32s" : "okvsVLCEncodeFree_32s", vals, lead, cap,
                     [&](S& sm, int v, const Okv16s* s, Okv8u** p, int* o) {
                         OkvsVLCEncodeSpec_32s* spec = nullptr;
                         const int st = OKV_BODY(v, okvsVLCEncodeInitAlloc_32s)(k.e.data(), k.n(), &spec);
                         const int r = OKV_BODY(v, okvsVLCEncodeBlock_16s1u)(s, n, p, o, spec);
                         OKV_BODY(v, okvsVLCEncodeFree_32s)(spec);
                         auto* own = enc(sm, v, k.e);
                         OKV_BODY(v, okvsVLCEncodeFree_32s)(own);
                         return st * 10000 + r * 100 + OKV_BODY(v, okvsVLCEncodeOne_16s1u)(s[0], p, o, own);
                     });
        check_encode(c, "okvsVLCEncodeOne_16s1u", vals, lead, cap, [&](S& sm, int v, const Okv16s* s, Okv8u** p, int* o) {
            return OKV_BODY(v, okvsVLCEncodeOne_16s1u)(s[0], p, o, enc(sm, v, k.e));
        });
        check_encode(c, "okvsVLCEncodeBlock_16s1u", vals, lead, cap, [&](S& sm, int v, const Okv16s* s, Okv8u** p, int* o) {
            return OKV_BODY(v, okvsVLCEncodeBlock_16s1u)(s, n, p, o, enc(sm, v, k.e));
        });
        c.call("okvsVLCCountBits_16s32s", [&](chk::Arena& a, int v) -> int {
            S sm;
            const Okv16s* x = a.in_copy(vals.data(), vals.size());
            return OKV_BODY(v, okvsVLCCountBits_16s32s)(x, n, a.out<Okv32s>(1), enc(sm, v, k.e));
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
        std::vector<Okv16s> vals(chk::cap(n));
        for (auto& x : vals) x = Okv16s(c.rng().range(0, 3) ? c.rng().range(-20, 20) : c.rng().range(-8300, 8300));
        std::vector<uint8_t> bits(size_t(n) * 7 + 16 + vlct::kPad);
        for (auto& b : bits) b = uint8_t(c.rng().u32() & (c.rng().range(0, 3) ? 0x33 : 0xFF));
        const int count = int(vals.size());
        const auto decode = [&](const char* name, const DecodeFn& fn) { check_decode(c, name, bits, lead, count, fn); };
        const auto encode = [&](const char* name, const EncodeFn& fn) {
            check_encode(c, name, vals, lead, vals.size() * 5 + 8, fn);
        };
        decode("okvsVLCDecodeEscBlock_AAC_1u16s", [&](S& sm, int v, In p, int* o, Okv16s* d) {
            return OKV_BODY(v, okvsVLCDecodeEscBlock_AAC_1u16s)(p, o, d, n, plain(sm, v, aac));
        });
        decode("okvsVLCDecodeEscBlock_MP3_1u16s", [&](S& sm, int v, In p, int* o, Okv16s* d) {
            return OKV_BODY(v, okvsVLCDecodeEscBlock_MP3_1u16s)(p, o, linbits, d, n, plain(sm, v, mp3));
        });
        decode("okvsVLCDecodeUTupleEscBlock_AAC_1u16s", [&](S& sm, int v, In p, int* o, Okv16s* d) {
            return OKV_BODY(v, okvsVLCDecodeUTupleEscBlock_AAC_1u16s)(p, o, d, n, tuple(sm, v, aacT, 2, 5));
        });
        decode("okvsVLCDecodeUTupleEscBlock_MP3_1u16s", [&](S& sm, int v, In p, int* o, Okv16s* d) {
            return OKV_BODY(v, okvsVLCDecodeUTupleEscBlock_MP3_1u16s)(p, o, linbits, d, n, tuple(sm, v, mp3T, 2, 4));
        });
        encode("okvsVLCEncodeEscBlock_AAC_16s1u", [&](S& sm, int v, const Okv16s* s, Okv8u** p, int* o) {
            return OKV_BODY(v, okvsVLCEncodeEscBlock_AAC_16s1u)(s, n, p, o, enc(sm, v, aacE));
        });
        encode("okvsVLCEncodeEscBlock_MP3_16s1u", [&](S& sm, int v, const Okv16s* s, Okv8u** p, int* o) {
            return OKV_BODY(v, okvsVLCEncodeEscBlock_MP3_16s1u)(s, n, linbits, p, o, enc(sm, v, mp3E));
        });
        c.call(it % 2 ? "okvsVLCCountEscBits_AAC_16s32s" : "okvsVLCCountEscBits_MP3_16s32s", [&](chk::Arena& a, int v) -> int {
            S sm;
            const Okv16s* x = a.in_copy(vals.data(), vals.size());
            return it % 2 ? OKV_BODY(v, okvsVLCCountEscBits_AAC_16s32s)(x, n, a.out<Okv32s>(1), enc(sm, v, aacE))
                          : OKV_BODY(v, okvsVLCCountEscBits_MP3_16s32s)(x, n, linbits, a.out<Okv32s>(1), enc(sm, v, mp3E));
        });
    }
}
