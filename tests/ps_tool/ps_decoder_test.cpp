// The PS payload reader against a writer of random payloads, the stereo synthesis against the
// level difference and coherence it signals and its envelope timing, and the computed tables.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "../../tools/okvac/ps/ps_decoder.cpp"
#include "../../tools/okvac/ps/ps_reader.cpp"
#include "mp3/mp3_test_util.h"

namespace {

using namespace ps_tables;

using mp3test::BitWriter;

// One envelope of indices, frequency- or time-differential; phases wrap modulo 8.
void putDeltas(BitWriter& w, const PsCode* f, const PsCode* t, int offset, bool dt, const int8_t* prev, const int8_t* v,
               int bands, bool wrap) {
    w.put(dt, 1);
    for (int b = 0; b < bands; ++b) {
        const int delta = v[b] - (dt ? prev[b] : b ? v[b - 1] : 0);
        const PsCode& c = (dt ? t : f)[(wrap ? delta & 7 : delta) + offset];
        w.put(c.code, c.len);
    }
}

TEST(PsReader, ReadsBackRandomPayloads) {
    std::mt19937 rng(7);
    const auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    PsReader reader;
    PsFrame last;  // the previous frame, whose envelope lastEnv is the time-differential reference
    int lastEnv = 0;
    int iidMode = 0, iccMode = 0;
    bool enIid = false, enIcc = false, enExt = false;
    for (int frame = 0; frame < 400; ++frame) {
        BitWriter w;
        PsFrame want;
        const bool header = frame == 0 || rnd(0, 2) == 0;
        w.put(header, 1);
        if (header) {
            w.put(enIid = rnd(0, 3) != 0, 1);
            if (enIid) w.put(uint32_t(iidMode = rnd(0, 5)), 3);
            w.put(enIcc = rnd(0, 3) != 0, 1);
            if (enIcc) w.put(uint32_t(iccMode = rnd(0, 5)), 3);
            w.put(enExt = rnd(0, 1), 1);
        }
        const int bandsOf[3] = {10, 20, 34}, iidBands = bandsOf[iidMode % 3], iccBands = bandsOf[iccMode % 3];
        const bool fine = iidMode >= 3;
        const int frameClass = rnd(0, 1), envIdx = rnd(0, 3), n = frameClass ? envIdx + 1 : (envIdx == 3 ? 4 : envIdx);
        w.put(uint32_t(frameClass), 1);
        w.put(uint32_t(envIdx), 2);
        std::vector<int> borders;
        while (frameClass && int(borders.size()) < n)
            if (const int b = rnd(0, 31); std::find(borders.begin(), borders.end(), b) == borders.end()) borders.push_back(b);
        std::sort(borders.begin(), borders.end());
        for (int e = 0; e < n; ++e) {
            want.border[e] = frameClass ? borders[size_t(e)] : 32 * (e + 1) / n - 1;
            if (frameClass) w.put(uint32_t(borders[size_t(e)]), 5);
        }
        for (int e = 0; e < n && enIid; ++e) {
            const int8_t* prev = e ? want.iid[e - 1] : last.iid[lastEnv];
            bool dt = rnd(0, 1);
            for (int b = 0; b < iidBands; ++b) {
                want.iid[e][b] = int8_t(rnd(fine ? -15 : -7, fine ? 15 : 7));
                dt = dt && std::abs(want.iid[e][b] - prev[b]) <= (fine ? 30 : 14);
            }
            putDeltas(w, fine ? k_f_huff_iid_fine : k_f_huff_iid_def, fine ? k_t_huff_iid_fine : k_t_huff_iid_def,
                     fine ? 30 : 14, dt, prev, want.iid[e], iidBands, false);
        }
        for (int e = 0; e < n && enIcc; ++e) {
            for (int b = 0; b < iccBands; ++b) want.icc[e][b] = int8_t(rnd(0, 7));
            putDeltas(w, k_f_huff_icc, k_t_huff_icc, 7, rnd(0, 1), e ? want.icc[e - 1] : last.icc[lastEnv], want.icc[e], iccBands,
                     false);
        }
        if (enExt) {
            BitWriter ext;
            ext.put(0, 2);
            ext.put(want.ipdOpd = rnd(0, 1), 1);
            for (int e = 0; e < n && want.ipdOpd; ++e) {
                const int phaseBands = iidMode % 3 * 6 + 5;
                for (int b = 0; b < phaseBands; ++b) want.ipd[e][b] = int8_t(rnd(0, 7)), want.opd[e][b] = int8_t(rnd(0, 7));
                putDeltas(ext, k_f_huff_ipd, k_t_huff_ipd, 0, rnd(0, 1), e ? want.ipd[e - 1] : last.ipd[lastEnv], want.ipd[e],
                           phaseBands, true);
                putDeltas(ext, k_f_huff_opd, k_t_huff_opd, 0, rnd(0, 1), e ? want.opd[e - 1] : last.opd[lastEnv], want.opd[e],
                           phaseBands, true);
            }
            ext.put(0, 1);
            const int cnt = int((ext.bits() + 7) / 8);
            const std::vector<uint8_t> eb = ext.bytes(0);
            w.put(uint32_t(std::min(cnt, 15)), 4);
            if (cnt >= 15) w.put(uint32_t(cnt - 15), 8);
            for (size_t i = 0; i < 8u * size_t(cnt); ++i) w.put(i < ext.bits() ? (eb[i / 8] >> (7 - i % 8)) & 1 : 0, 1);
        }
        PsFrame got;
        const std::vector<uint8_t> bytes = w.bytes(0);
        const int bits = int(w.bits());
        BitCursor shortBc{bytes.data(), 0, bytes.data() + bytes.size()}, bc = shortBc;
        EXPECT_FALSE(reader.read(&shortBc, bits - 1, &got)) << frame;  // one bit too few
        ASSERT_TRUE(reader.read(&bc, bits, &got)) << frame;
        EXPECT_EQ((bc.p - bytes.data()) * 8 + bc.off, bits) << frame;
        const int total = n > 0 && want.border[n - 1] < 31 ? n + 1 : n;
        ASSERT_EQ(got.numEnv, total) << frame;
        if (total > n) want.border[n] = 31;
        for (int e = 0; e < total; ++e) {
            const int src = std::min(e, n - 1);
            EXPECT_EQ(got.border[e], want.border[e]) << frame;
            EXPECT_TRUE(!std::memcmp(got.iid[e], want.iid[src], 34) && !std::memcmp(got.icc[e], want.icc[src], 34) &&
                        !std::memcmp(got.ipd[e], want.ipd[src], 17) && !std::memcmp(got.opd[e], want.opd[src], 17))
                << frame << " env " << e;
        }
        EXPECT_EQ(got.fineIid, fine);
        EXPECT_EQ(got.mixRb, iccMode >= 3);
        if (n > 0) last = want, lastEnv = n - 1;
    }
}

using Frame = std::vector<Okv32fc>;
constexpr size_t kFrame = PsDecoder::kSlots * PsDecoder::kBands;

PsFrame constantFrame(bool is34) {
    PsFrame f;
    f.numEnv = 1, f.border[0] = 31;
    f.iidBands = f.iccBands = is34 ? 34 : 20;
    f.is34 = f.fineIid = f.mixRb = is34;  // Ra on the default grid, Rb on the fine one
    return f;
}

// On unit-magnitude noise of random phase, every QMF band above the split ones carries the
// level difference and coherence of its parameter band.
TEST(PsDecoder, NoiseGetsTheSignalledLevelDifferenceAndCoherence) {
    const float rhoOf[8] = {1, 0.937f, 0.84118f, 0.60092f, 0.36764f, 0, -0.589f, -1};
    const double dbDefault[15] = {-25, -18, -14, -10, -7, -4, -2, 0, 2, 4, 7, 10, 14, 18, 25};
    const double dbFine[16] = {0, 2, 4, 6, 8, 10, 13, 16, 19, 22, 25, 30, 35, 40, 45, 50};
    for (const bool is34 : {false, true}) {
        PsFrame f = constantFrame(is34);
        for (int b = 0; b < 34; ++b) f.iid[0][b] = int8_t(is34 ? b % 31 - 15 : b % 15 - 7), f.icc[0][b] = int8_t(b % 6);
        PsDecoder dec;
        std::mt19937 rng(3);
        std::uniform_real_distribution<float> phase(0.0f, 6.2831853f);
        Frame in(60 * kFrame + PsDecoder::kLookahead * PsDecoder::kBands), l(kFrame), r(kFrame);
        for (Okv32fc& v : in) {
            const float p = phase(rng);
            v = {std::cos(p), std::sin(p)};
        }
        std::vector<double> pl(64), pr(64), x(64);
        for (size_t frame = 0; frame < 60; ++frame) {
            ASSERT_EQ(dec.process(&f, &in[frame * kFrame], l.data(), r.data()), okvOk);
            for (size_t i = 0; i < kFrame && frame >= 2; ++i) {
                pl[i % 64] += double(l[i].re) * l[i].re + double(l[i].im) * l[i].im;
                pr[i % 64] += double(r[i].re) * r[i].re + double(r[i].im) * r[i].im;
                x[i % 64] += double(l[i].re) * r[i].re + double(l[i].im) * r[i].im;
            }
        }
        const int split = is34 ? 5 : 3, first = is34 ? 32 : 10;
        for (int m = split; m < 64; ++m) {
            const int b = (is34 ? kParBand34 : kParBand20)[m - split + first], i = f.iid[0][b];
            const double wantDb = is34 ? (i < 0 ? -dbFine[-i] : dbFine[i]) : dbDefault[i + 7];
            const double rho = is34 ? std::max(rhoOf[f.icc[0][b]], 0.05f) : rhoOf[f.icc[0][b]];
            EXPECT_NEAR(10 * std::log10(pl[size_t(m)] / pr[size_t(m)]), wantDb, std::fabs(wantDb) > 30 ? 1.0 : 0.3) << m;
            EXPECT_NEAR(x[size_t(m)] / std::sqrt(pl[size_t(m)] * pr[size_t(m)]), rho, 0.05) << is34 << " band " << m;
        }
    }
}

// With full coherence the side signal drops out and left is h11 times the mono signal: the
// matrix of each envelope is reached at its border slot, linearly from the previous one; with
// no parameters the last matrices hold.
TEST(PsDecoder, MatricesMoveLinearlyToEachEnvelopeBorder) {
    PsDecoder dec;
    Frame in(kFrame + PsDecoder::kLookahead * PsDecoder::kBands, Okv32fc{1.0f, 0.0f}), l(kFrame), r(kFrame);
    PsFrame f = constantFrame(false);
    ASSERT_EQ(dec.process(&f, in.data(), l.data(), r.data()), okvOk);
    const int border[3] = {4, 20, 31}, iid[3] = {5, -3, -3};
    f.numEnv = 3;
    for (int e = 0; e < 3; ++e) {
        f.border[e] = border[e];
        std::fill_n(f.iid[e], 20, int8_t(iid[e]));
    }
    ASSERT_EQ(dec.process(&f, in.data(), l.data(), r.data()), okvOk);
    float prev = 1.0f;
    for (int e = 0, start = -1; e < 3; start = border[e++]) {
        const float target = kRaDefault[iid[e] + 7][0][0];
        for (int n = start + 1; n <= border[e]; ++n)
            EXPECT_NEAR(l[size_t(64 * n + 40)].re, prev + (target - prev) * float(n - start) / float(border[e] - start), 1e-5)
                << "slot " << n;
        prev = target;
    }
    ASSERT_EQ(dec.process(nullptr, in.data(), l.data(), r.data()), okvOk);
    for (int n = 0; n < 32; ++n) EXPECT_NEAR(l[size_t(64 * n + 40)].re, prev, 1e-5);
}

// Data rows of a shared PS table file, split into words.
std::vector<std::vector<std::string>> rows(const std::string& file) { return mp3test::tableLines("../ps/" + file); }

// The mixing matrices and all-pass factors the generator computes, against the shared values.
TEST(PsTables, MatchTheSharedText) {
    if (rows("mixing_ra.txt").size() != 368) GTEST_SKIP() << "shared PS tables absent";
    for (const bool rb : {false, true}) {
        const auto r = rows(rb ? "mixing_rb.txt" : "mixing_ra.txt");
        ASSERT_EQ(r.size(), 368u);
        for (const auto& w : r) {
            const int iid = std::stoi(w[1]), icc = std::stoi(w[3]);
            const float* h = w[0] == "fine" ? (rb ? kRbFine : kRaFine)[iid + 15][icc] : (rb ? kRbDefault : kRaDefault)[iid + 7][icc];
            for (int j = 0; j < 4; ++j) EXPECT_NEAR(h[j], std::stod(w[5 + j]), 2e-7) << w[0] << " " << iid << " " << icc;
        }
    }
    for (const bool is34 : {false, true}) {
        const auto f = rows(is34 ? "fract_delay_34.txt" : "fract_delay_20.txt");
        ASSERT_EQ(f.size(), is34 ? 50u : 30u);
        const float(*phi)[2] = is34 ? kPhiFract34 : kPhiFract20;
        const float(*q)[3][2] = is34 ? kQFract34 : kQFract20;
        for (size_t k = 0; k < f.size(); ++k)
            for (int j = 0; j < 8; ++j) {
                const float want = j < 2 ? phi[k][j] : q[k][(j - 2) / 2][j % 2];
                EXPECT_NEAR(want, std::stod(f[k][2 + j]), 2e-7) << is34 << " " << k << " " << j;
            }
    }
}

}  // namespace
