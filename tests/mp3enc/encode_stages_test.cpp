// Layer III encoder stages: packers and Huffman encoder by round trips through the unpacking and decoding
// exports; the quantiser's bands and table choice against exact models, whole frames against the bit budget,
// the scalefactor packers and the decoder's requantiser.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "mp3/mp3_test_util.h"
#include "mp3/psy_state.h"
#include "mp3/quantize_band.h"
#include "mp3/quantize_bits.h"
#include "mp3/scf_tables.h"

using namespace mp3test;
namespace q = okv_u8::mp3q;

// The reservoir's room: what 7680 bits leave beside a frame, at most 4088. Random headers, and side
// information of every version and mode: the unpackers read back what was packed, to the last byte.
TEST(Mp3EncPack, ReservoirHeaderAndSideInfoRoundTrip) {
    const int kKbps[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}, kRate[3] = {44100, 48000, 32000};
    for (int b = 0; b < 45; ++b) {
        MP3FrameHeader h = header(1, 0, b / 15);
        MP3BitReservoir resv{-1, -1};
        h.bitrate_index = b % 15;
        const int frameBits = 8 * (144000 * kKbps[b % 15] / kRate[b / 15]);
        EXPECT_TRUE(okvsBitReservoirInit_MP3(&resv, &h) == okvOk && resv.resvSize == 0 &&
                    resv.resvMaxSize == std::min(4088, 7680 - std::min(7680, frameBits))) << b;
    }
    std::mt19937 rng(1);
    for (int it = 0; it < 2000; ++it) {
        Okv8u buf[48], *p = buf, *q = buf;
        MP3FrameHeader h{}, back{};
        int* field[] = {&h.id, &h.layer, &h.protection_bit, &h.sampling_frequency, &h.padding_bit, &h.private_bit, &h.mode,
                        &h.mode_extension, &h.copyright, &h.original_copy, &h.emphasis, &h.bitrate_index, &h.crc_check};
        const unsigned mask[13] = {1, 3, 1, 3, 1, 1, 3, 3, 1, 1, 3, 15, 0xFFFF};
        for (int i = 0; i < 13; ++i) *field[i] = int(rng() & mask[i]);
        h.crc_check *= !h.protection_bit;
        ASSERT_TRUE(okvsPackFrameHeader_MP3(&h, &p) == okvOk && okvsUnpackFrameHeader_MP3(&q, &back) == okvOk);
        EXPECT_TRUE(p - buf == (h.protection_bit ? 4 : 6) && q == p && !memcmp(&h, &back, sizeof h)) << it;
        h = header(rng() & 1, rng() & 3);
        p = q = buf;
        const bool v1 = h.id == 1;
        const int nch = h.mode == 3 ? 1 : 2, bytes = v1 ? (nch == 1 ? 17 : 32) : (nch == 1 ? 9 : 17);
        MP3SideInfo si[4] = {}, got[4] = {};
        for (int i = 0; i < (v1 ? 2 : 1) * nch; ++i) {
            MP3SideInfo& s = si[i];
            s.part2_3_length = rng() & 4095, s.big_values = rng() % 289, s.global_gain = rng() & 255;
            s.scalefac_compress = rng() & (v1 ? 15 : 511), s.window_switching_flag = rng() & 1;
            for (int r = 0; r < 3 - s.window_switching_flag; ++r) s.table_select[r] = rng() & 31;
            s.block_type = s.window_switching_flag ? 1 + rng() % 3 : 0, s.mixed_block_flag = s.window_switching_flag & rng();
            for (int& g : s.subblock_gain) g = s.window_switching_flag ? rng() & 7 : 0;
            s.region0_count = s.window_switching_flag ? (s.block_type == 2 && !s.mixed_block_flag ? 8 : 7) : rng() & 15;
            s.region1_count = s.window_switching_flag ? 20 - s.region0_count : rng() & 7;
            s.preflag = v1 ? rng() & 1 : 0, s.scalefac_scale = rng() & 1, s.count1table_select = rng() & 1;
        }
        int scfsi[8] = {}, scfsi2[8] = {}, mdb2 = -1, priv2 = -1;
        for (int i = 0; v1 && i < 4 * nch; ++i) scfsi[i] = rng() & 1;
        const int mdb = rng() & (v1 ? 511 : 255), priv = rng() & (v1 ? (nch == 1 ? 31 : 7) : (nch == 1 ? 1 : 3));
        memset(buf, 0x5A, sizeof buf);
        ASSERT_TRUE(okvsPackSideInfo_MP3(si, &p, mdb, priv, scfsi, &h) == okvOk &&
                    okvsUnpackSideInfo_MP3(&q, got, &mdb2, &priv2, scfsi2, &h) == okvOk);
        for (int i = 0; i < 4; ++i) {  // the unused table and (in LSF) preflag are the unpacker's
            if (si[i].window_switching_flag) si[i].table_select[2] = got[i].table_select[2];
            if (!v1) got[i].preflag = 0;
        }
        EXPECT_TRUE(p - buf == bytes && q == p && buf[bytes] == 0x5A && mdb2 == mdb && priv2 == priv && !memcmp(si, got, sizeof si) &&
                    !memcmp(scfsi, scfsi2, sizeof(int) * (v1 ? 4 * nch : 0))) << it;
    }
}

// Every scalefac_compress of both versions, every block kind, both LSF channels (channel 1 with
// intensity) and every MPEG-1 scfsi pattern of granule 1, at any bit offset (whole bytes of it folded into
// the pointer): random values of the widths the standard's tables give (LSF: nr_of_sfb_block with the
// lengths scalefac_compress holds) take exactly those bits, the bits before kept, and read back. An
// intensity position at its largest value reads as illegal (negated); the band past the coded ones (three
// windows of it for short blocks and LSF) is zeroed; granule 1 keeps what scfsi shares.
TEST(Mp3EncPack, ScaleFactorsRoundTripAtTheTablesWidths) {
    const auto slen = tableLines("slen.txt"), nr = tableLines("nr_of_sfb_block.txt");
    MP3_SKIP_WITHOUT_TABLES(slen.size() == 16 && nr.size() == 18);
    static const int kGroup[22] = {0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 3, 3, 3, 3, 3, 3};
    std::mt19937 rng(3);
    for (int id = 0; id <= 1; ++id)
        for (int c = 0; c < (id ? 16 : 512); ++c)
            for (int kind = 0; kind < (id ? 4 + 15 : 6); ++kind) {  // short, mixed, long, then MPEG-1 scfsi masks
                const int ch = id ? 0 : kind / 3, k = id ? std::min(kind, 2) : kind % 3, granule = kind >= 3;
                const int off = c % 8, skip = c % 3, zeros = id && k == 2 ? 1 : 3;
                std::vector<int> width;  // bits of each scalefactor transmitted
                if (id) {
                    const int first = k == 0 ? 18 : k == 1 ? 17 : 11;
                    width.assign(size_t(first), std::stoi(slen[c][1]));
                    width.resize(size_t(first + (k == 2 ? 10 : 18)), std::stoi(slen[c][2]));
                } else {
                    const int t = ch ? c >> 1 : c, u = ch ? t - (t < 244 ? 180 : 244) : c - (c < 500 ? 400 : 500);
                    const int row = ch * 3 + (t < (ch ? 180 : 400) ? 0 : t < (ch ? 244 : 500) ? 1 : 2);
                    const int lens[6][4] = {{(t >> 4) / 5, (t >> 4) % 5, (t & 15) >> 2, t & 3},
                                            {(u >> 2) / 5, (u >> 2) % 5, u & 3, 0}, {u / 3, u % 3, 0, 0},
                                            {t / 36, t % 36 / 6, t % 6, 0}, {(u & 63) >> 4, (u & 15) >> 2, u & 3, 0},
                                            {u / 3, u % 3, 0, 0}};
                    for (int j = 0; j < 4; ++j)
                        width.resize(width.size() + size_t(std::stoi(nr[3 * row + (k + 1) % 3][2 + j])), lens[row][j]);
                }
                const MP3FrameHeader h = header(id, 1, 0, ch ? 1 : 2);
                MP3SideInfo si{};
                si.scalefac_compress = c, si.block_type = k < 2 ? 2 : 0, si.window_switching_flag = k < 2;
                si.mixed_block_flag = k == 1 ? 3 : 0, si.preflag = 7;  // only the flag's lowest bit counts
                int scfsi[4];
                for (int g = 0; g < 4; ++g) scfsi[g] = id && kind >= 4 ? ((kind - 3) >> g) & 1 : 0;
                Okv8s sf[40] = {}, back[40];
                long bits = off + 8 * skip;
                for (size_t i = 0; i < width.size(); ++i) {
                    const bool shared = k == 2 && scfsi[kGroup[i]];
                    sf[i] = Okv8s(rng() % (1u << width[i])), bits += shared ? 0 : width[i];
                }
                for (Okv8s& b : back) b = Okv8s(rng() & 15);
                const std::vector<Okv8s> prev(back, back + 40);
                std::vector<Okv8u> buf(64, 0);
                buf[size_t(skip)] = Okv8u(0xFF00 >> off);
                Okv8u *p = buf.data(), *q = p + skip;
                int o = off + 8 * skip, qo = off;
                MP3SideInfo si2 = si;
                ASSERT_TRUE(okvsPackScaleFactors_MP3_8s1u(sf, &p, &o, &h, &si, scfsi, granule, ch) == okvOk &&
                            buf[size_t(skip)] >> (8 - off) == (1 << off) - 1 &&
                            okvsUnpackScaleFactors_MP3_1u8s(&q, &qo, back, &si2, scfsi, &h, granule, ch) == okvOk &&
                            bitPos(buf.data(), p, o) == bits && bitPos(buf.data(), q, qo) == bits)
                    << id << " compress " << c << " kind " << kind;
                const bool flags = si.preflag + 2 * si2.preflag == (!ch && c >= 500 ? 3 : 0) && si2.mixed_block_flag == (k == 1);
                EXPECT_TRUE(id || flags) << c << " " << kind;  // LSF: preflag set by both sides
                for (size_t i = 0; i < 40; ++i) {
                    const int w = i < width.size() ? width[i] : 0, top = (1 << w) - 1;
                    const int want = i >= width.size()             ? (i < width.size() + zeros ? 0 : prev[i])
                                     : k == 2 && scfsi[kGroup[i]] ? prev[i]
                                     : ch && sf[i] == top          ? -sf[i] : sf[i];
                    ASSERT_EQ(back[i], want) << id << " compress " << c << " kind " << kind << " i " << i;
                }
            }
}

// Random spectra, region layouts, block types and tables; budgets at the bits written and above: '1'
// stuffing after unchanged code bits, and the decoder ends exactly at the budget.
TEST(Mp3EncHuffman, RandomGranulesDecodeBack) {
    std::mt19937 rng(6);
    for (int it = 0; it < 3000; ++it) {
        const MP3FrameHeader h = header(1, 0, rng() % 3);
        MP3SideInfo si{};
        si.window_switching_flag = rng() % 3 == 0;
        si.block_type = si.window_switching_flag ? 1 + rng() % 3 : rng() % 4;  // ignored unless switched
        si.big_values = rng() % 289, si.region0_count = rng() % 16, si.count1table_select = rng() & 1;
        si.region1_count = std::min<int>(rng() % 8, 20 - si.region0_count);
        const int bv2 = 2 * si.big_values, row = 3 + h.sampling_frequency;
        const int bounds[3] = {si.window_switching_flag ? 36 : kSfbLong[row][si.region0_count + 1],
                               si.window_switching_flag ? bv2 : kSfbLong[row][si.region0_count + si.region1_count + 2], bv2};
        std::vector<Okv32s> ix(576, 0);
        for (int r = 0, start = 0; r < 3; start = std::max(start, std::min(bounds[r++], bv2))) {
            const int ts = si.table_select[r] = int(rng() % 32);
            const int maxv = ts < 16 ? std::max(kXlen[ts] - 1, 0) : std::min(15 + (1 << kLinbits[ts]) - 1, 8206);
            for (int i = start; i < std::min(bounds[r], bv2); ++i) {
                const int v = rng() % 8 == 0 ? maxv : rng() & 1 ? int(rng() % (maxv + 1)) : int(rng() % std::min(maxv + 1, 4));
                ix[i] = rng() & 1 ? -v : v;
            }
        }
        const int count1 = int(rng() % ((576 - bv2) / 4 + 1)) * 4, off = rng() % 8;
        const int extra = it % 4 < 2 ? it % 4 : int(rng() % 100);
        for (int i = bv2; i < bv2 + count1; ++i) ix[i] = rng() % 4 ? 0 : (rng() & 1 ? 1 : -1);
        long bits[2];
        std::vector<Okv8u> buf[2] = {std::vector<Okv8u>(1200), std::vector<Okv8u>(1200)};
        for (int pass = 0; pass < 2; ++pass) {
            Okv8u* p = buf[pass].data();
            int o = off;
            ASSERT_EQ(okvsHuffmanEncode_MP3_32s1u(ix.data(), &p, &o, &h, &si, count1, pass ? int(bits[0]) + extra : 0), okvOk);
            bits[pass] = bitPos(buf[pass].data(), p, o) - off;
        }
        ASSERT_EQ(bits[1], bits[0] + extra);
        const auto bit = [&](int pass, long b) { return (buf[pass][b >> 3] >> (7 - (b & 7))) & 1; };
        for (long b = off; b < off + bits[1]; ++b) ASSERT_EQ(bit(1, b), b < off + bits[0] ? bit(0, b) : 1) << "bit " << b;
        si.part2_3_length = int(bits[1]);
        Okv8u* q = buf[1].data();
        int qo = off, bound = -1;
        std::vector<Okv32s> out(576);
        ASSERT_EQ(okvsHuffmanDecode_MP3_1u32s(&q, &qo, out.data(), &bound, &si, &h, int(bits[1])), okvOk);
        ASSERT_TRUE(bitPos(buf[1].data(), q, qo) - off == bits[1] && out == ix) << "iteration " << it;
    }
    const MP3FrameHeader h = header(1, 0, 0);
    const MP3SideInfo si{};
    const std::vector<Okv32s> zeros(576);
    Okv8u* none = nullptr;
    int o = 0;
    EXPECT_EQ(okvsHuffmanEncode_MP3_32s1u(zeros.data(), &none, &o, &h, &si, 0, 0), okvErrNullPtr);  // no stream
}

// y^(3/4): floor(y^0.75 + 0.4054) below 1025, the octave's quadratic piece up to 165108, 8192 above;
// a value: that of Y = round(round(x 2^(f/4), 2^(f/4) in Q29) 2^(a - 26)) (-s = 4a + f).
TEST(Mp3EncQuantize, BandQuantiserAgainstModels) {
    static const Okv64s kA[7] = {77669483, 130802989, 220162688, 370390985, 623045816, 1047960546, 1941318829};
    static const Okv64s kB[7] = {324062684, 272471948, 229105831, 192656354, 162004913, 136229718, 110668797};
    static const Okv64s kC[7] = {10978530, 4613194, 1938995, 815290, 342796, 144130, 50463};
    for (Okv64s y = 0; y < 200000; ++y) {
        int k = y >= 65537 ? 6 : -1;  // octave index: the bit length of y >> 10, less one
        for (Okv64s t = y >> 10; k < 6 && t; t >>= 1) ++k;
        const Okv64s want = y < 1025 ? Okv64s(std::floor(std::pow(double(y), 0.75) + 0.4054)) : y >= 165109 ? 8192
                            : ((((-kC[k] * y >> 9) + kB[k]) * y >> 10) + kA[k] + (1 << 20)) >> 21;
        ASSERT_EQ(q::powThreeQuarters(y), want) << y;
    }
    std::mt19937_64 rng(11);
    for (int it = 0; it < 20000; ++it) {
        const int n = 1 + it % 4, s = int(rng() % 260) - 250, a = -s >> 2, f = -s & 3;
        Okv32s x[4], v[5], most = 0;
        for (int i = 0; i < n; ++i) x[i] = Okv32s((rng() >> 33) >> (rng() % 31));
        v[n] = -7;
        const Okv32s got = q::quantizeBand(x, n, s, v);
        const auto q29 = [](int k) { return __int128(std::llround(std::ldexp(std::pow(2.0, k / 4.0), 29))); };
        const Okv32u big = Okv32u(rng() >> 33);  // a full-range magnitude exposes the last bit of 2^(f/4)
        ASSERT_EQ(q::scaled(big, 26, 1 + it % 3), Okv64s((big * q29(1 + it % 3) + (1 << 28)) >> 29)) << big;
        for (int i = 0; i < n; ++i) {
            const __int128 y = f ? (x[i] * q29(f) + (1 << 28)) >> 29 : x[i];
            const __int128 Y = a >= 26 ? y << std::min(a - 26, 20) : (y + (__int128(1) << (25 - a))) >> (26 - a);
            ASSERT_EQ(v[i], q::powThreeQuarters(Okv64s(Y))) << x[i] << " " << s;
            most = std::max(most, v[i]);
        }
        ASSERT_TRUE(got == most && v[n] == -7) << it;
    }
}

// Below 15 the cheapest table of the first fitting row length (later wins ties), above it the cheaper escape;
// costs from the shared tables' code lengths.
TEST(Mp3EncQuantize, TableChoiceAgainstBruteForce) {
    const auto linbits = tableLines("huffman/linbits.txt");
    MP3_SKIP_WITHOUT_TABLES(linbits.size() == 32);
    std::vector<int> len(32 * 256);  // code length by table_select, x and y (escapes at 15)
    for (int ts = 1; ts < 32; ++ts) {
        char name[32];
        std::snprintf(name, sizeof name, "huffman/table_%02d.txt", std::stoi(linbits[ts][1]));
        for (const auto& c : tableLines(name)) len[256 * ts + 16 * std::stoi(c[0]) + std::stoi(c[1])] = std::stoi(c[2]);
    }
    std::mt19937 rng(12);
    for (int it = 0; it < 4000; ++it) {
        const int n = 2 + 2 * int(rng() % 100), cap = std::vector<int>{1, 2, 3, 5, 7, 14, 15, 16, 40, 300, 8191}[rng() % 11];
        std::vector<Okv32s> v(n);
        for (auto& x : v) x = rng() % 3 ? int(rng() % (cap + 1)) : int(rng() % 2);
        const int m = *std::max_element(v.begin(), v.end());
        int bits = -1, best = m ? 1 : 0, a = 16, b = 24;
        const int chosen = q::chooseTable(v.data(), n, &bits);
        auto cost = [&](int ts) {  // code lengths, escape bits and sign bits
            int total = 0;
            for (int i = 0; i < n; i += 2) {
                const int x = std::min(v[i], 15), y = std::min(v[i + 1], 15);
                total += len[256 * ts + 16 * x + y] + (x > 0) + (y > 0) + kLinbits[ts] * ((x == 15) + (y == 15));
            }
            return total;
        };
        while (m && m < 15 && kXlen[best] <= m) ++best;
        for (int ts = best + 1; m && m < 15 && ts < 16; ++ts)
            best = kXlen[ts] == kXlen[best] && cost(ts) <= cost(best) ? ts : best;
        while ((1 << kLinbits[a]) <= m - 15) ++a;
        while ((1 << kLinbits[b]) <= m - 15) ++b;
        ASSERT_EQ(chosen, m < 15 ? best : cost(b) < cost(a) ? b : a) << it;
        ASSERT_TRUE(!m || cost(chosen) == bits) << it;
        const int quads = 1 + it % 40;  // count1 quadruples: the cheaper table (B on ties) at the bits the encoder writes
        v.assign(576, 0);
        for (int i = 0; i < 4 * quads; ++i) v[i] = rng() % 3 ? 0 : rng() & 1 ? 1 : -1;
        long written[2];
        const MP3FrameHeader h = header(1, 0);
        for (int t = 0; t < 2; ++t) {
            MP3SideInfo si{};
            si.count1table_select = t;
            Okv8u buf[64], *p = buf;
            int o = 0, tableB = -1;
            ASSERT_EQ(okvsHuffmanEncode_MP3_32s1u(v.data(), &p, &o, &h, &si, 4 * quads, 0), okvOk);
            written[t] = bitPos(buf, p, o);
            ASSERT_TRUE(!t || (q::count1Bits(v.data(), quads, &tableB) == std::min(written[0], written[1]) &&
                               tableB == (written[1] <= written[0]))) << it;
        }
    }
}

// One record: its first n scalefactors pack with the quantiser's lengths and read back whole (an LSF
// intensity position at the top of its length reads back negated: marked illegal); with the Huffman size
// the quantiser gives they make up part2_3_length.
bool packs_back(const Okv8s* sf, int hufBits, const MP3FrameHeader& h, MP3SideInfo s, int gr, int ch, int n) {
    Okv8u buf[64] = {}, *p = buf, *q = buf;
    int o = 0, qo = 0, none[4] = {};
    Okv8s back[40] = {};
    return okvsPackScaleFactors_MP3_8s1u(sf, &p, &o, &h, &s, none, gr, ch) == okvOk &&
           bitPos(buf, p, o) + hufBits == s.part2_3_length &&
           okvsUnpackScaleFactors_MP3_1u8s(&q, &qo, back, &s, none, &h, gr, ch) == okvOk &&
           std::equal(back, back + n, sf, [](Okv8s a, Okv8s b) { return std::abs(a) == b; });
}

// One frame quantised in place with the given band ratios (by default flat; pe 1000) and intensity bounds,
// from the side information and reservoir in q (by default zeroed and empty).
struct Quantised {
    MP3SideInfo si[4] = {};
    MP3BitReservoir resv{0, 4088};
    int count1[4], huf[4];
};
Quantised quantize(const MP3FrameHeader& h, std::vector<Okv32s>& xr, Okv8s* sf, int meanBits, const int* bound, Quantised q = {},
                   std::function<Okv32s(int)> ratioOf = [](int) { return 21474836; }) {
    std::vector<Okv32s> work(OKV_MP3_QUANT_WORK_LEN);
    int scfsi[8];
    MP3PsyRatio ratio[4];
    for (auto& r : ratio) {
        for (int b = 0; b < 36; ++b) r.ratio[b] = ratioOf(b);
        r.pe = 1000;
    }
    okv_u8::Mp3PsyStateHead state{};
    EXPECT_EQ(okvsQuantize_MP3_32s_I(xr.data(), sf, scfsi, q.count1, q.huf, &h, q.si, ratio, reinterpret_cast<const Okv8u*>(&state),
                                     &q.resv, meanBits, bound, work.data()), okvOk);
    return q;
}

// Of quantised lines v: the end of the non-zero pairs, the big-values end e below the quadruples of
// magnitudes up to 1, and the long-block region counts for e from the subdivision table.
struct Regions {
    int end = 576, e, r0, r1;
};
Regions regionsOf(const Okv32s* v, const Okv16s* lng) {
    static const int kR0[23] = {0, 0, 0, 0, 0, 0, 1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5, 6, 6};
    static const int kR1[23] = {0, 0, 0, 0, 0, 1, 1, 1, 2, 2, 3, 3, 4, 4, 4, 5, 5, 6, 6, 6, 7, 7, 7};
    const auto small = [&](int i) { return std::abs(v[i]) <= 1; };
    Regions g;
    int b = 0;
    while (g.end > 0 && !v[g.end - 1] && !v[g.end - 2]) g.end -= 2;
    for (g.e = g.end; g.e > 3 && small(g.e - 1) && small(g.e - 2) && small(g.e - 3) && small(g.e - 4);) g.e -= 4;
    while (b < 22 && lng[b] < g.e) ++b;
    for (g.r0 = kR0[b]; g.r0 > 0 && lng[g.r0 + 1] > g.e;) --g.r0;
    for (g.r1 = kR1[b]; g.r1 > 0 && lng[g.r0 + g.r1 + 2] > g.e;) --g.r1;
    return g;
}

// Noise frames (some ending at each band edge 5..20, some on 2 lines, some silent), every version, channel
// count and block kind, tight and generous budgets: granules fit 4095 bits and spend the mean bits; whole-byte
// reservoir; quiet short windows get subblock gains; silence clears what the caller left in the side
// information; requantised at about 9 bits a line, long bands within -20 dB of their input.
TEST(Mp3EncQuantize, FramesSpendTheBudgetExactly) {
    std::mt19937 rng(13);
    for (int it = 0; it < 96; ++it) {
        const int id = it & 1, nch = it & 2 ? 2 : 1, rec = nch * (id ? 2 : 1), type = (it >> 2) % 4, rate = (it >> 4) % 3;
        const MP3FrameHeader h = header(id, nch == 1 ? 3 : 0, rate);
        const int meanBits = it < 48 ? int(rng() % 4000) : 3900 * rec;
        const int top = id && rate == 1 ? 384 : 418;  // the bands the SNR check reads end here
        const Okv16s *lng = kSfbLong[3 * id + rate], *sht = kSfbShort[3 * id + rate];
        const int edge = it % 12 == 5 || it % 12 == 3 ? lng[5 + it / 6 + (it % 12 == 3)] : 576;  // bands 5..20
        const int lines = it % 24 == 23 ? 0 : it % 12 == 11 ? 2 : edge;
        std::vector<Okv32s> xr(576 * rec);
        std::normal_distribution<double> noise(0, 1 << 24);
        for (int i = 0; i < 576 * rec; ++i) xr[i] = i % 576 < lines ? Okv32s(noise(rng)) : 0;
        for (int r = 0; type == 2 && r < rec; ++r)  // short blocks: windows 1 and 2 at -36 dB
            for (int b = 0; b < 13; ++b)
                for (int i = 2 * sht[b] + sht[b + 1]; i < 3 * sht[b + 1]; ++i) xr[576 * r + i] /= 64;
        std::vector<Okv32s> ix = xr;
        std::vector<Okv8s> sf(40 * rec, 9);  // what the caller left
        Quantised in;
        for (int r = 0; r < rec; ++r) {
            MP3SideInfo& s = in.si[r];
            s.block_type = type == 3 ? (r / nch) * 2 + 1 : type, s.window_switching_flag = s.block_type != 0;  // start then stop
            for (int k = 0; k < 3; ++k) s.table_select[k] = 5, s.subblock_gain[k] = 3;  // silence clears them
        }
        const int before = in.resv.resvSize = int(rng() % 256) * 8, bound[6] = {};
        const Quantised q = quantize(h, ix, sf.data(), meanBits, bound, in);
        const MP3SideInfo* si = q.si;
        const int *count1 = q.count1, *huf = q.huf;
        const MP3BitReservoir resv = q.resv;
        for (int r = 0; r < rec; ++r) {  // regions from the output; MPEG-1: the cheapest slen pair, lowest on ties
            const MP3SideInfo& s = si[r];
            const Okv32s* v = ix.data() + 576 * r;
            Regions g = regionsOf(v, lng);
            int m[2] = {0, 0}, best = -1, cost = 0;
            if (s.window_switching_flag) g.r0 = s.block_type == 2 ? 8 : 7, g.r1 = 20 - g.r0;
            EXPECT_TRUE(s.big_values == g.e / 2 && count1[r] == g.end - g.e) << it << " " << r;
            const bool regions = g.e ? s.region0_count == g.r0 && s.region1_count == g.r1 : s.region0_count + s.region1_count == 0;
            EXPECT_TRUE(regions) << it << " " << r;
            const int coded = type == 2 ? 3 * sht[12] : lng[21];  // long band 21 up (short: band 12) never coded
            EXPECT_TRUE(it < 48 || lines < 576 || (v[coded - 1] && std::all_of(v + coded, v + 576, [](Okv32s x) { return !x; })))
                << it << " " << r;
            const int split = s.block_type == 2 ? 18 : 11, last = split == 18 ? 36 : 21;
            for (int i = 0; i < last; ++i) m[i >= split] = std::max<int>(m[i >= split], sf[40 * r + i]);
            for (int c = 15; c >= 0; --c) {
                const int l1 = okv_u8::mp3Slen[c], l2 = okv_u8::mp3Slen[16 + c], bits = l1 * split + l2 * (last - split);
                if (m[0] < 1 << l1 && m[1] < 1 << l2 && (best < 0 || bits <= cost)) best = c, cost = bits;
            }
            EXPECT_TRUE(!id || s.scalefac_compress == best) << it << " " << r;
            EXPECT_TRUE(packs_back(sf.data() + 40 * r, huf[r], h, s, r / nch, r % nch, last)) << it << " " << r;
        }
        int used = 0, full = 0;
        for (int r = 0; r < rec; ++r) {
            const MP3SideInfo& s = si[r];
            ASSERT_LE(s.part2_3_length, 4095);
            used += s.part2_3_length, full += s.part2_3_length == 4095;
            const bool gains = s.subblock_gain[1] + s.subblock_gain[2] > 2 * s.subblock_gain[0];
            EXPECT_TRUE(type != 2 || meanBits <= 1000 || it % 12 == 11 || gains) << it;
            int left = s.big_values + s.region0_count + s.region1_count + s.count1table_select;
            for (int k = 0; k < 3; ++k) left += s.table_select[k] + s.subblock_gain[k];
            EXPECT_TRUE(lines || !left) << it;  // silence: stuffing at most
        }
        EXPECT_TRUE(lines || std::all_of(sf.begin(), sf.end(), [](Okv8s v) { return v == 0; })) << it;
        EXPECT_TRUE(full || used + resv.resvSize - before == meanBits) << it;
        EXPECT_TRUE(resv.resvSize % 8 == 0 && resv.resvSize >= 0 && resv.resvSize <= 4088) << it;
        for (int r = 0; it >= 48 && type == 0 && r < rec; ++r) {
            std::vector<Okv32s> back(ix.begin() + 576 * r, ix.begin() + 576 * r + 576), w(576);
            back.resize(1152);
            int nz[2] = {576, 0};
            const MP3SideInfo s2[2] = {si[r], si[r]};
            const MP3FrameHeader mono = header(id, 3, rate);
            ASSERT_EQ(okvsReQuantize_MP3_32s_I(back.data(), nz, sf.data() + 40 * r, s2, &mono, w.data()), okvOk);
            for (int b = 0; lng[b + 1] <= top; ++b) {
                double sig = 0, err = 0;
                for (int i = lng[b]; i < lng[b + 1]; ++i) sig += std::pow(xr[576 * r + i], 2), err += std::pow(xr[576 * r + i] - back[i], 2);
                EXPECT_LE(err, sig / 100) << it << " record " << r << " band " << b;
            }
        }
    }
}

// Joint stereo with intensity: above the bound (clamped to the band range) channel 1 keeps the positions
// the caller stored, clamped to 0..15 (bands 11 and up given what their 3 bits hold), and no lines.
TEST(Mp3EncQuantize, IntensityPositionsAboveTheBoundKept) {
    std::mt19937 rng(15);
    for (int it = 0; it < 200; ++it) {
        const int id = it & 1, rec = id ? 4 : 2;
        const MP3FrameHeader h = header(id, 1, 0, it & 2 ? 3 : 1);  // M/S as well now and then
        std::vector<Okv32s> xr(576 * rec);
        for (auto& x : xr) x = Okv32s(std::normal_distribution<double>(0, 1 << 20)(rng));
        std::vector<Okv8s> sf(40 * rec);
        for (int i = 0; i < 40 * rec; ++i)  // band 21's position is not transmitted and may pass 3 bits
            sf[i] = Okv8s(int(rng() % (id && i % 40 >= 11 && i % 40 != 21 ? 11 : 24)) - 3);
        const std::vector<Okv8s> given = sf;
        int bound[6];
        for (int& b : bound) b = int(rng() % 26) - 2;
        const Quantised q = quantize(h, xr, sf.data(), 3000 * rec, bound);
        for (int r = 1; r < rec; r += 2) {
            const int limit = std::clamp(bound[3 * (r / 2)], 0, 21), from = kSfbLong[3 * id][limit];
            for (int b = limit; b < 21; ++b)
                ASSERT_EQ(sf[40 * r + b], std::clamp<int>(given[40 * r + b], 0, 15)) << it << " " << r << " " << b;
            const auto line = xr.begin() + 576 * r;  // coded below the bound, silent from it
            EXPECT_TRUE(std::all_of(line + from, line + 576, [](Okv32s x) { return x == 0; })) << it << " " << r;
            EXPECT_TRUE(!from || std::any_of(line, line + from, [](Okv32s x) { return x != 0; })) << it << " " << r;
            EXPECT_TRUE(packs_back(sf.data() + 40 * r, q.huf[r], h, q.si[r], r / 2, 1, 21)) << it << " " << r;
        }
    }
}

// One MPEG-1 mono frame (two granules alike) at 44.1 or 48 kHz; granule 0's side information.
MP3SideInfo quantizeMono(std::vector<Okv32s>& xr, Okv8s* sf, int rate, int meanBits) {
    const int bound[6] = {};
    return quantize(header(1, 3, rate), xr, sf, meanBits, bound).si[0];
}

// Every big-values end of an MPEG-1 long granule (loud lines below it, silence above) and its regions.
TEST(Mp3EncQuantize, RegionsAtEveryBigValuesEnd) {
    for (int end = 2; end <= kSfbLong[3][21]; end += 2) {
        std::vector<Okv32s> xr(1152, 0);
        for (int i = 0; i < end; ++i) xr[i] = xr[576 + i] = 1 << 24;
        Okv8s sf[80];
        const MP3SideInfo si = quantizeMono(xr, sf, 0, 7000);
        const Regions g = regionsOf(xr.data(), kSfbLong[3]);
        EXPECT_TRUE(g.e == end && si.big_values == end / 2 && si.region0_count == g.r0 && si.region1_count == g.r1)
            << end << ": " << g.e << " " << si.region0_count << " " << si.region1_count;
    }
}

// A ratio of 0 (no mask) counts as the largest one, and ratios below 214748 as 214748 (in every other
// band, so that the class moves the steps).
TEST(Mp3EncQuantize, RatioZeroIsTheLargestAndSmallOnesAreRaised) {
    std::mt19937 rng(5);
    std::vector<Okv32s> noise(1152);
    for (Okv32s& v : noise) v = Okv32s(rng() % (1 << 22)) - (1 << 21);
    const int bound[6] = {};
    const auto run = [&](Okv32s ratio) {
        std::vector<Okv32s> xr = noise;
        Okv8s sf[80];
        const Quantised q = quantize(header(1, 3, 0), xr, sf, 1000, bound, {}, [=](int b) { return b & 1 ? ratio : 21474836; });
        xr.insert(xr.end(), sf, sf + 80), xr.push_back(q.si[0].global_gain);
        return xr;
    };
    EXPECT_EQ(run(0), run(INT32_MAX));
    EXPECT_EQ(run(1), run(214748));
    EXPECT_NE(run(0), run(1));
}

// A band 2^-6 below the loudest is 12 steps of 3 dB down: a first-group scalefactor up to 15 (2^-7.75)
// needs no scalefac_scale, 16 (2^-8.25) takes it and is halved to 8; 2^-4.5 (9 steps) in the second
// group passes its 7 and takes scalefac_scale, halved to 4. A 6 in band 11 alone, the second group's first,
// takes the slen pair (0, 3).
TEST(Mp3EncQuantize, ScalefacScaleFromEachGroupsLimit) {
    for (const auto& [band, octaves, scale, want] :
         {std::tuple{5, 6.0, 0, 12}, {5, 7.75, 0, 15}, {5, 8.25, 1, 8}, {13, 4.5, 1, 4}, {11, 3.0, 0, 6}}) {
        const double gap = std::exp2(octaves);
        std::vector<Okv32s> xr(1152, 0);
        Okv8s sf[80];
        for (int g = 0; g < 2; ++g)
            for (int i = 0; i < 4; ++i)
                xr[576 * g + i] = 1 << 24, xr[576 * g + kSfbLong[3][band] + i] = Okv32s((1 << 24) / gap);
        const MP3SideInfo si = quantizeMono(xr, sf, 0, 3000);
        EXPECT_TRUE(si.scalefac_scale == scale && sf[band] == want && (band != 11 || si.scalefac_compress == 3))
            << band << " sf " << int(sf[band]) << " compress " << si.scalefac_compress;
    }
}
