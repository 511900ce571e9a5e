// Runs the four pair decoders over arbitrary streams with the standard
// tables, and the pair encoders over arbitrary values, checking that what
// they write decodes back and matches the bit count.
//
// Input: table choice, linbits, start offset, then the stream (also read as values).
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "okvac.h"
#include "vlc/vlc_test_util.h"

namespace {

constexpr int kMaxPairBits = 56;  // codeword with signs and two 21-bit escapes

struct Specs {
    std::vector<uint8_t> dec, tup, enc;
    Specs(const vlc_std::PairCode* t, int n, int B, const std::vector<VLCCodeEntry>& encEntries) {
        const auto de = vlct::esc_decode_entries(t, n), te = vlct::tuple_entries(t, n, B);
        const Okv32s sizes[] = {6, 5, 4, 4};
        int size = 0;
        StatusCode st = okvsVLCDecodeGetSize_32s(de.data(), int(de.size()), sizes, 4, &size);
        dec.resize(size_t(size));
        st |= okvsVLCDecodeInit_32s(de.data(), int(de.size()), sizes, 4, reinterpret_cast<OkvsVLCDecodeSpec_32s*>(dec.data()));
        st |= okvsVLCDecodeUTupleGetSize_32s(te.data(), n, sizes, 4, 2, B, &size);
        tup.resize(size_t(size));
        st |= okvsVLCDecodeUTupleInit_32s(te.data(), n, sizes, 4, 2, B,
                                          reinterpret_cast<OkvsVLCDecodeUTupleSpec_32s*>(tup.data()));
        st |= okvsVLCEncodeGetSize_32s(encEntries.data(), int(encEntries.size()), &size);
        enc.resize(size_t(size));
        st |= okvsVLCEncodeInit_32s(encEntries.data(), int(encEntries.size()),
                                    reinterpret_cast<OkvsVLCEncodeSpec_32s*>(enc.data()));
        if (st != okvOk) abort();
    }
    const OkvsVLCDecodeSpec_32s* d() const { return reinterpret_cast<const OkvsVLCDecodeSpec_32s*>(dec.data()); }
    const OkvsVLCDecodeUTupleSpec_32s* t() const { return reinterpret_cast<const OkvsVLCDecodeUTupleSpec_32s*>(tup.data()); }
    const OkvsVLCEncodeSpec_32s* e() const { return reinterpret_cast<const OkvsVLCEncodeSpec_32s*>(enc.data()); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Specs aac(vlc_std::kAacCodebook11, 289, 5, vlct::aac_encode_entries());
    static const Specs mp3[2] = {Specs(vlc_std::kMp3Table16, 256, 4, vlct::mp3_encode_entries(vlc_std::kMp3Table16)),
                                 Specs(vlc_std::kMp3Table24, 256, 4, vlct::mp3_encode_entries(vlc_std::kMp3Table24))};
    if (size < 3) return 0;
    const bool isAac = data[0] & 1;
    const Specs& s = isAac ? aac : mp3[(data[0] >> 1) & 1];
    const int linbits = data[1] % 16;  // 15 is refused
    const int lead = data[2] % 8;
    std::vector<uint8_t> stream(data + 3, data + size);
    const uint64_t bits = stream.size() * 8;
    stream.resize(stream.size() + vlct::kPad, 0);

    // Decoding: the pairs that fit the data whatever their escapes.
    const uint64_t room = bits > uint64_t(lead) ? bits - uint64_t(lead) : 0;
    const int count = int(2 * (room / kMaxPairBits)) + (data[0] >> 7);
    std::vector<Okv16s> out(size_t(count) + 1);
    const Okv8u* p = stream.data();
    int off = lead;
    if (isAac) {
        okvsVLCDecodeEscBlock_AAC_1u16s(&p, &off, out.data(), count, s.d());
        p = stream.data();
        off = lead;
        okvsVLCDecodeUTupleEscBlock_AAC_1u16s(&p, &off, out.data(), count, s.t());
    } else {
        okvsVLCDecodeEscBlock_MP3_1u16s(&p, &off, linbits, out.data(), count, s.d());
        p = stream.data();
        off = lead;
        okvsVLCDecodeUTupleEscBlock_MP3_1u16s(&p, &off, linbits, out.data(), count, s.t());
    }

    // Encoding: the stream's bytes as values; what encodes must decode back.
    std::vector<Okv16s> vals;
    for (size_t i = 0; i + 1 < bits / 8; i += 2) {
        int v = int16_t(stream[i] << 8 | stream[i + 1]);
        if (!(data[0] & 0x40)) v %= isAac ? 8192 : 15 + (1 << linbits);
        vals.push_back(Okv16s(v));
    }
    if (vals.size() < 2) return 0;
    const int n = int(vals.size());
    std::vector<uint8_t> enc(vals.size() * 8 + 8 + vlct::kPad);
    Okv8u* w = enc.data();
    int woff = lead;
    Okv32s counted = -1;
    StatusCode st, cst;
    if (isAac) {
        st = okvsVLCEncodeEscBlock_AAC_16s1u(vals.data(), n, &w, &woff, s.e());
        cst = okvsVLCCountEscBits_AAC_16s32s(vals.data(), n, &counted, s.e());
    } else {
        st = okvsVLCEncodeEscBlock_MP3_16s1u(vals.data(), n, linbits, &w, &woff, s.e());
        cst = okvsVLCCountEscBits_MP3_16s32s(vals.data(), n, linbits, &counted, s.e());
    }
    if (st != cst) abort();
    if (st != okvOk) return 0;
    const uint64_t end = uint64_t(w - enc.data()) * 8 + uint64_t(woff);
    if (end - uint64_t(lead) != uint64_t(counted)) abort();
    std::vector<Okv16s> back(vals.size());
    for (int form = 0; form < 2; ++form) {
        const Okv8u* r = enc.data();
        int roff = lead;
        StatusCode dst;
        if (isAac)
            dst = form ? okvsVLCDecodeUTupleEscBlock_AAC_1u16s(&r, &roff, back.data(), n, s.t())
                       : okvsVLCDecodeEscBlock_AAC_1u16s(&r, &roff, back.data(), n, s.d());
        else
            dst = form ? okvsVLCDecodeUTupleEscBlock_MP3_1u16s(&r, &roff, linbits, back.data(), n, s.t())
                       : okvsVLCDecodeEscBlock_MP3_1u16s(&r, &roff, linbits, back.data(), n, s.d());
        if (dst != okvOk || uint64_t(r - enc.data()) * 8 + uint64_t(roff) != end) abort();
        for (int i = 0; i < n - n % 2; ++i)
            if (back[size_t(i)] != vals[size_t(i)]) abort();
    }
    return 0;
}
