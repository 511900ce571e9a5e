// Variant harness of the VLC family on the standard pair tables: specs built through GetSize and Init at an
// odd address and through InitAlloc, every coder run on random bits or values (some refused), the specs freed.
#include "harness/checkasm.h"
#include "vlc/vlc_test_util.h"

#define B(name) OKV_BODY(v, okvsVLC##name)

namespace {

// A spec in arena memory by the variant's GetSize and Init, 5 bytes past a boundary; the statuses to st.
template <class S> S* make(chk::Arena& a, int* st, auto get, auto init, const vlct::Codes& e, auto... arg) {
    int size = 0;
    st[0] = get(e.data(), int(e.size()), arg..., &size);
    auto* s = a.scratch<S>(size_t(size), 5);
    st[1] = init(e.data(), int(e.size()), arg..., s);
    return s;
}

}  // namespace

CHECKER(vlc) {
    using vlc_std::kAacCodebook11, vlc_std::kMp3Table24;
    const vlct::Codes dec[2] = {vlct::esc_decode_entries(kAacCodebook11, 289), vlct::esc_decode_entries(kMp3Table24, 256)};
    const vlct::Codes tup[2] = {vlct::tuple_entries(kAacCodebook11, 289, 5), vlct::tuple_entries(kMp3Table24, 256, 4)};
    const vlct::Codes enc[2] = {vlct::aac_encode_entries(), vlct::mp3_encode_entries(kMp3Table24)};
    const vlct::Sizes ds[2] = {{8, 8}, {9, 9}}, ts[2] = {{6, 6}, {5, 5, 5}};
    for (int it = 0; it < 8 * c.iters(); ++it) {
        const int m = it % 2, n = c.rng().len(600), lead = c.rng().range(0, 7), lb = c.rng().range(0, 13);
        std::vector<Okv16s> vals(chk::cap(n)), plain(vals.size());
        for (auto& x : vals) x = Okv16s(c.rng().range(0, 3) ? c.rng().range(-20, 20) : c.rng().range(-8300, 8300));
        for (auto& x : plain) x = Okv16s(enc[m][size_t(c.rng().range(0, int(enc[m].size()) - 1))].value);
        if (c.rng().range(0, 9) == 0) plain[0] = c.rng().i16();  // usually absent: refused
        std::vector<uint8_t> bits(size_t(n) * 7 + 16 + vlct::kPad);
        for (auto& b : bits) b = uint8_t(c.rng().u32() & (c.rng().range(0, 3) ? 0x33 : 0xFF));
        c.call("VLC codes", [&](chk::Arena& a, int v) -> int {
            int* st = a.out<int>(20);
            auto* d = make<OkvsVLCDecodeSpec_32s>(a, st, B(DecodeGetSize_32s), B(DecodeInit_32s), dec[m], ds[m].data(), 2);
            auto* t = make<OkvsVLCDecodeUTupleSpec_32s>(a, st + 2, B(DecodeUTupleGetSize_32s), B(DecodeUTupleInit_32s),
                                                        tup[m], ts[m].data(), 2 + m, 2, m ? 4 : 5);
            auto* e = make<OkvsVLCEncodeSpec_32s>(a, st + 4, B(EncodeGetSize_32s), B(EncodeInit_32s), enc[m]);
            OkvsVLCDecodeSpec_32s* da = nullptr;
            OkvsVLCDecodeUTupleSpec_32s* ta = nullptr;
            OkvsVLCEncodeSpec_32s* ea = nullptr;
            st[6] = B(DecodeInitAlloc_32s)(dec[m].data(), int(dec[m].size()), ds[m].data(), 2, &da);
            st[7] = B(DecodeUTupleInitAlloc_32s)(tup[m].data(), int(tup[m].size()), ts[m].data(), 2 + m, 2, m ? 4 : 5, &ta);
            st[8] = B(EncodeInitAlloc_32s)(enc[m].data(), int(enc[m].size()), &ea);
            const Okv8u* in = a.in_copy(bits.data(), bits.size());
            const Okv16s *x = a.in_copy(vals.data(), vals.size()), *y = a.in_copy(plain.data(), plain.size());
            chk::Cursor c0(a, in, lead), c1(a, in, lead), c2(a, in, lead), c3(a, in, lead), c4(a, in, lead);
            chk::Cursor e0(a, a.out<Okv8u>(vals.size() * 5 + 8), lead), e1(a, a.out<Okv8u>(vals.size() * 4 + 8), lead);
            const auto out = [&] { return a.out<Okv16s>(vals.size() + 2); };
            Okv32s* cnt = a.out<Okv32s>(2);
            st[9] = B(DecodeOne_1u16s)(&c0.p, c0.off, out(), d) * 100 + B(DecodeBlock_1u16s)(&c0.p, c0.off, out(), n, da);
            st[10] = B(DecodeUTupleOne_1u16s)(&c1.p, c1.off, out(), t) * 100 +
                     B(DecodeUTupleBlock_1u16s)(&c1.p, c1.off, out(), n, ta);
            st[11] = B(EncodeOne_16s1u)(y[0], &e1.p, e1.off, e) * 100 + B(EncodeBlock_16s1u)(y, n, &e1.p, e1.off, ea);
            st[12] = B(CountBits_16s32s)(y, n, cnt, e);
            if (m == 0) {
                st[13] = B(DecodeEscBlock_AAC_1u16s)(&c2.p, c2.off, out(), n, d);
                st[14] = B(DecodeUTupleEscBlock_AAC_1u16s)(&c3.p, c3.off, out(), n, ta);
                st[15] = B(EncodeEscBlock_AAC_16s1u)(x, n, &e0.p, e0.off, e);
                st[16] = B(CountEscBits_AAC_16s32s)(x, n, cnt + 1, ea);
            } else {
                st[13] = B(DecodeEscBlock_MP3_1u16s)(&c2.p, c2.off, lb, out(), n, da);
                st[14] = B(DecodeUTupleEscBlock_MP3_1u16s)(&c3.p, c3.off, lb, out(), n, t);
                st[15] = B(EncodeEscBlock_MP3_16s1u)(x, n, lb, &e0.p, e0.off, ea);
                st[16] = B(CountEscBits_MP3_16s32s)(x, n, lb, cnt + 1, e);
            }
            B(DecodeFree_32s)(da);
            B(DecodeUTupleFree_32s)(ta);
            B(EncodeFree_32s)(ea);
            B(DecodeFree_32s)(d);
            st[17] = B(DecodeBlock_1u16s)(&c4.p, c4.off, out(), n, d);  // freed: refused
            for (auto* cur : {&c0, &c1, &c2, &c3, &c4}) cur->end(a, 0);
            e0.end(a, 0);
            return e1.end(a, 0);
        });
    }
}
