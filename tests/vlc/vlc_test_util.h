// Helpers of the VLC tests, benchmarks and fuzz targets: reference bit sink,
// random prefix codes, standard pair tables expanded to entry lists.
#pragma once
#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "okvac.h"
#include "std_codes.h"

namespace vlct {

// Bit-by-bit reference writer.
struct BitSink {
    std::vector<uint8_t> bytes;
    uint64_t nbits = 0;
    void bit(unsigned b) {
        if (nbits % 8 == 0) bytes.push_back(0);
        if (b) bytes.back() |= uint8_t(0x80u >> (nbits % 8));
        ++nbits;
    }
    void put(uint64_t code, int len) {
        for (int i = len - 1; i >= 0; --i) bit(unsigned(code >> i) & 1);
    }
};

// Decoders read up to 8 bytes from the byte of the current position.
constexpr size_t kPad = 8;

// Bits of buffer a from bit position pa and of b from pb agree for n bits.
inline bool same_bits(const uint8_t* a, uint64_t pa, const uint8_t* b, uint64_t pb, uint64_t n) {
    for (uint64_t i = 0; i < n; ++i) {
        unsigned x = (a[(pa + i) >> 3] >> (7 - (pa + i) % 8)) & 1, y = (b[(pb + i) >> 3] >> (7 - (pb + i) % 8)) & 1;
        if (x != y) return false;
    }
    return true;
}

// A random prefix code of n codes (complete for n >= 2) with lengths up to
// maxLen, built by splitting leaves of a binary tree; deep splits are favoured
// now and then so that long codes occur.  Values are distinct and in int16.
inline std::vector<VLCCodeEntry> random_prefix_code(std::mt19937& rng, int n, int maxLen) {
    std::vector<VLCCodeEntry> e;
    if (n == 1) {
        int len = int(rng() % maxLen) + 1;
        e.push_back({0, uint32_t(rng()) & uint32_t((uint64_t(1) << len) - 1), len});
    } else {
        e = {{0, 0, 1}, {0, 1, 1}};
        while (int(e.size()) < n) {
            size_t k = rng() % e.size();
            if (rng() % 3 == 0)
                for (size_t i = 0; i < e.size(); ++i)
                    if (e[i].length > e[k].length && e[i].length < maxLen) k = i;
            if (e[k].length >= maxLen) continue;
            e[k].code <<= 1;
            e[k].length++;
            e.push_back({0, e[k].code | 1, e[k].length});
        }
    }
    std::shuffle(e.begin(), e.end(), rng);
    // Values: a small non-negative range, a signed range, or distinct scattered int16.
    const int mode = int(rng() % 3);
    std::vector<int32_t> vals;
    for (int i = 0; i < n; ++i) {
        int32_t v = mode == 0 ? i : i - n / 2;
        if (mode == 2)
            do v = int32_t(int16_t(rng()));
            while (std::find(vals.begin(), vals.end(), v) != vals.end());
        vals.push_back(v);
    }
    std::shuffle(vals.begin(), vals.end(), rng);
    for (int i = 0; i < n; ++i) e[i].value = vals[i];
    return e;
}

// Random level widths covering maxLen, sometimes followed by unexamined sizes.
inline std::vector<Okv32s> random_sizes(std::mt19937& rng, int L) {
    std::vector<Okv32s> s;
    int sum = 0;
    while (sum < L) {
        int w = int(rng() % 9) + 1;
        s.push_back(w);
        sum += w;
    }
    if (rng() % 4 == 0) s.push_back(int(rng() % 3) - 1);
    return s;
}

inline int max_length(const std::vector<VLCCodeEntry>& e) {
    int L = 0;
    for (auto& x : e) L = x.length > L ? x.length : L;
    return L;
}

// A standard pair table with its sign bits appended to the codeword (first
// value's sign first, 1 = negative), each signed pair valued by pack(a, b).
template <class Pack>
std::vector<VLCCodeEntry> signed_pairs(const vlc_std::PairCode* t, int n, Pack pack) {
    std::vector<VLCCodeEntry> e;
    for (int i = 0; i < n; ++i) {
        const int x = t[i].x, y = t[i].y;
        for (int sx = 0; sx < (x ? 2 : 1); ++sx)
            for (int sy = 0; sy < (y ? 2 : 1); ++sy) {
                uint32_t code = t[i].code;
                int len = t[i].length;
                if (x) code = code << 1 | uint32_t(sx), ++len;
                if (y) code = code << 1 | uint32_t(sy), ++len;
                e.push_back({pack(sx ? -x : x, sy ? -y : y), code, len});
            }
    }
    return e;
}

// Entry lists of the escape codecs.
inline std::vector<VLCCodeEntry> esc_decode_entries(const vlc_std::PairCode* t, int n) {
    return signed_pairs(t, n, [](int a, int b) { return 256 * a + b + 128; });
}
inline std::vector<VLCCodeEntry> aac_encode_entries() {
    return signed_pairs(vlc_std::kAacCodebook11, 289, [](int a, int b) { return 64 * a + b + 16; });
}
inline std::vector<VLCCodeEntry> mp3_encode_entries(const vlc_std::PairCode* t) {
    return signed_pairs(t, 256, [](int a, int b) { return 32 * a + b + 15; });
}
// UTuple form: the codeword only, valued by the packed pair of B-bit magnitudes.
inline std::vector<VLCCodeEntry> tuple_entries(const vlc_std::PairCode* t, int n, int B) {
    std::vector<VLCCodeEntry> e;
    for (int i = 0; i < n; ++i) e.push_back({t[i].x << B | t[i].y, t[i].code, t[i].length});
    return e;
}

// Spec memory from GetSize, owned by a vector and started at a chosen misalignment.
struct SpecMem {
    std::vector<uint8_t> mem;
    void* at(size_t size, size_t shift) {
        mem.assign(size + shift, 0xA5);
        return mem.data() + shift;
    }
};

// Specs built through GetSize and Init in caller memory started at a chosen
// misalignment; st is the first status other than okvOk.
struct DecodeSpec {
    SpecMem m;
    OkvsVLCDecodeSpec_32s* spec = nullptr;
    StatusCode st;
    DecodeSpec(const std::vector<VLCCodeEntry>& e, const std::vector<Okv32s>& sizes, size_t shift = 7) {
        int size = 0;
        st = okvsVLCDecodeGetSize_32s(e.data(), int(e.size()), sizes.data(), int(sizes.size()), &size);
        spec = static_cast<OkvsVLCDecodeSpec_32s*>(m.at(size_t(size), shift));
        if (st == okvOk) st = okvsVLCDecodeInit_32s(e.data(), int(e.size()), sizes.data(), int(sizes.size()), spec);
    }
};

struct TupleSpec {
    SpecMem m;
    OkvsVLCDecodeUTupleSpec_32s* spec = nullptr;
    StatusCode st;
    TupleSpec(const std::vector<VLCCodeEntry>& e, const std::vector<Okv32s>& sizes, int N, int B, size_t shift = 1) {
        const int n = int(e.size()), ns = int(sizes.size());
        int size = 0;
        st = okvsVLCDecodeUTupleGetSize_32s(e.data(), n, sizes.data(), ns, N, B, &size);
        spec = static_cast<OkvsVLCDecodeUTupleSpec_32s*>(m.at(size_t(size), shift));
        if (st == okvOk) st = okvsVLCDecodeUTupleInit_32s(e.data(), n, sizes.data(), ns, N, B, spec);
    }
};

struct EncodeSpec {
    SpecMem m;
    OkvsVLCEncodeSpec_32s* spec = nullptr;
    StatusCode st;
    explicit EncodeSpec(const std::vector<VLCCodeEntry>& e, size_t shift = 9) {
        int size = 0;
        st = okvsVLCEncodeGetSize_32s(e.data(), int(e.size()), &size);
        spec = static_cast<OkvsVLCEncodeSpec_32s*>(m.at(size_t(size), shift));
        if (st == okvOk) st = okvsVLCEncodeInit_32s(e.data(), int(e.size()), spec);
    }
};

}  // namespace vlct
