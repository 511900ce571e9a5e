// Helpers of the AAC tests: the codebooks and band tables read from the shared text (independent
// of the library's generated tables), a random TNS writer, one channel's outputs.
#pragma once
#include <cstdio>
#include <map>
#include <random>

#include "mp3/mp3_test_util.h"

namespace aactest {

using mp3test::BitWriter;

inline std::vector<std::vector<std::string>> tableRows(const std::string& name) {
    return mp3test::tableLines("../aac/" + name);
}

inline std::vector<int> numbersFrom(const std::vector<std::string>& row, size_t from) {
    std::vector<int> v;
    for (size_t k = from; k < row.size(); ++k) v.push_back(std::stoi(row[k]));
    return v;
}

template <class T> std::vector<int> ints(const T* p, size_t n) { return std::vector<int>(p, p + n); }

// Uniform integers in [lo, hi].
struct Rng {
    std::mt19937 g;
    explicit Rng(uint32_t seed) : g(seed) {}
    int operator()(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(g); }
};

// Random TNS side data in stream order into the fields a parser reads (others keep their value).
// Long filters take orders up to maxOrder; one above 12 is written and ends the data there, where
// the parsers stop.
inline void putTns(BitWriter& bw, Rng& rnd, bool isShort, int maxOrder, AACTnsData& t) {
    for (int w = 0, f = 0, d = 0, c = 0; w < (isShort ? 8 : 1); ++w) {
        bw.put(t.nFilt[w] = rnd(0, isShort ? 1 : 3), isShort ? 1 : 2);
        if (t.nFilt[w]) bw.put((t.coefRes[w] = rnd(3, 4)) - 3, 1);
        for (int k = 0; k < t.nFilt[w]; ++k, ++f) {
            bw.put(t.length[f] = rnd(0, isShort ? 15 : 63), isShort ? 4 : 6);
            const int o = t.order[f] = rnd(0, isShort ? 7 : maxOrder);
            bw.put(o, isShort ? 3 : 5);
            if (o > 12) return;
            const int compress = o ? rnd(0, 1) : 0, bits = t.coefRes[w] - compress, half = 1 << (bits - 1);
            if (o) bw.put(t.direction[d++] = rnd(0, 1), 1);
            if (o) bw.put(compress, 1);
            for (int i = 0; i < o; ++i, ++c) {
                t.coef[c] = Okv8s(rnd(-half, half - 1));
                bw.put(uint32_t(t.coef[c]) & (2 * half - 1), bits);
            }
        }
    }
}

struct Codebook {
    std::vector<std::string> code;            // by index
    std::vector<std::vector<int>> values;     // by index (spectral books)
    std::map<std::vector<int>, int> indexOf;  // tuple -> index
};

// Book 0 is the scalefactor code; 1..11 the spectral books.  Empty when the text is missing.
inline Codebook loadBook(int book) {
    char name[32];
    std::snprintf(name, sizeof name, book ? "codebook_%02d.txt" : "codebook_sf.txt", book);
    Codebook cb;
    for (const auto& r : tableRows(name)) {
        cb.indexOf[numbersFrom(r, 3)] = int(cb.code.size());
        cb.code.push_back(r[2]);
        cb.values.push_back(numbersFrom(r, 3));
    }
    return cb;
}

// swb_offset rows per sampling-rate index (long: 1024 window, short: 128 window).
inline std::vector<std::vector<int>> bandOffsets(bool shortWin) {
    std::vector<std::vector<int>> t;
    for (const auto& r : tableRows(shortWin ? "swb_offset_short.txt" : "swb_offset_long.txt"))
        t.push_back(numbersFrom(r, 3));
    return t;
}

// Records and output arrays of one channel decode.
struct ChannelOutputs {
    AACChanInfo ci{};
    AACIcsInfo ics{};
    AACMainHeader hdr{};
    Okv16s sf[120];
    Okv8u cb[120];
    Okv32s spec[1024];
    Okv8s tns[60];
};

}  // namespace aactest
