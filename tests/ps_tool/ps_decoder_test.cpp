// The PS payload reader against a writer of random payloads, and the stereo synthesis against
// the properties it exists for: the signalled level difference and coherence on noise, and the
// envelope timing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "../../tools/okvac/ps/ps_decoder.cpp"
#include "../../tools/okvac/ps/ps_reader.cpp"

namespace {

using namespace ps_tables;

struct BitWriter {
    std::vector<uint8_t> bytes;
    long long n = 0;
    void put(uint32_t v, int len) {
        for (int i = len - 1; i >= 0; --i, ++n) {
            if (n % 8 == 0) bytes.push_back(0);
            bytes.back() |= uint8_t(((v >> i) & 1) << (7 - n % 8));
        }
    }
};

// Writes one envelope of indices, frequency- or time-differential.
void putDeltas(BitWriter* w, const PsCode* f, const PsCode* t, int offset, bool dt, const int8_t* prev,
               const int8_t* v, int bands, bool wrap) {
    w->put(dt, 1);
    for (int b = 0; b < bands; ++b) {
        int delta = v[b] - (dt ? prev[b] : b ? v[b - 1] : 0);
        if (wrap) delta &= 7;
        const PsCode& c = (dt ? t : f)[delta + offset];
        w->put(c.code, c.len);
    }
}

TEST(PsReader, ReadsBackRandomPayloads) {
    std::mt19937 rng(7);
    const auto rnd = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    PsReader reader;
    int8_t prevIid[34] = {}, prevIcc[34] = {}, prevIpd[17] = {}, prevOpd[17] = {};
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
        const int bandsOf[3] = {10, 20, 34};
        const int iidBands = bandsOf[iidMode % 3], iccBands = bandsOf[iccMode % 3], phaseBands = iidMode % 3 * 6 + 5;
        const bool fine = iidMode >= 3;
        const int frameClass = rnd(0, 1), envIdx = rnd(0, 3);
        w.put(uint32_t(frameClass), 1);
        w.put(uint32_t(envIdx), 2);
        const int n = frameClass ? envIdx + 1 : (envIdx == 3 ? 4 : envIdx);
        std::vector<int> borders;
        while (frameClass && int(borders.size()) < n) {
            const int b = rnd(0, 31);
            if (std::find(borders.begin(), borders.end(), b) == borders.end()) borders.push_back(b);
        }
        std::sort(borders.begin(), borders.end());
        for (int e = 0; e < n; ++e) {
            want.border[e] = frameClass ? borders[size_t(e)] : 32 * (e + 1) / n - 1;
            if (frameClass) w.put(uint32_t(borders[size_t(e)]), 5);
        }
        for (int e = 0; e < n && enIid; ++e) {
            for (int b = 0; b < iidBands; ++b) want.iid[e][b] = int8_t(rnd(fine ? -15 : -7, fine ? 15 : 7));
            const int8_t* prev = e ? want.iid[e - 1] : prevIid;
            bool dt = rnd(0, 1);
            for (int b = 0; b < iidBands && dt; ++b) dt = std::abs(want.iid[e][b] - prev[b]) <= (fine ? 30 : 14);
            putDeltas(&w, fine ? k_f_huff_iid_fine : k_f_huff_iid_def, fine ? k_t_huff_iid_fine : k_t_huff_iid_def,
                      fine ? 30 : 14, dt, prev, want.iid[e], iidBands, false);
        }
        for (int e = 0; e < n && enIcc; ++e) {
            for (int b = 0; b < iccBands; ++b) want.icc[e][b] = int8_t(rnd(0, 7));
            putDeltas(&w, k_f_huff_icc, k_t_huff_icc, 7, rnd(0, 1), e ? want.icc[e - 1] : prevIcc, want.icc[e],
                      iccBands, false);
        }
        if (enExt) {
            BitWriter ext;
            ext.put(0, 2);
            ext.put(want.ipdOpd = rnd(0, 1), 1);
            for (int e = 0; e < n && want.ipdOpd; ++e) {
                for (int b = 0; b < phaseBands; ++b) want.ipd[e][b] = int8_t(rnd(0, 7)), want.opd[e][b] = int8_t(rnd(0, 7));
                putDeltas(&ext, k_f_huff_ipd, k_t_huff_ipd, 0, rnd(0, 1), e ? want.ipd[e - 1] : prevIpd, want.ipd[e],
                          phaseBands, true);
                putDeltas(&ext, k_f_huff_opd, k_t_huff_opd, 0, rnd(0, 1), e ? want.opd[e - 1] : prevOpd, want.opd[e],
                          phaseBands, true);
            }
            ext.put(0, 1);
            const int cnt = int((ext.n + 7) / 8);
            w.put(uint32_t(std::min(cnt, 15)), 4);
            if (cnt >= 15) w.put(uint32_t(cnt - 15), 8);
            for (long long i = 0; i < 8LL * cnt; ++i) w.put(i < ext.n ? (ext.bytes[size_t(i / 8)] >> (7 - i % 8)) & 1 : 0, 1);
        }
        // The same payload with one bit too few is refused too.
        BitCursor shortBc{w.bytes.data(), 0, w.bytes.data() + w.bytes.size()};
        PsFrame junk;
        EXPECT_FALSE(reader.read(&shortBc, w.n - 1, &junk)) << frame;

        BitCursor bc{w.bytes.data(), 0, w.bytes.data() + w.bytes.size()};
        PsFrame got;
        ASSERT_TRUE(reader.read(&bc, w.n, &got)) << frame;
        EXPECT_EQ((bc.p - w.bytes.data()) * 8 + bc.off, w.n) << frame;
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
        if (n > 0) {
            std::memcpy(prevIid, want.iid[n - 1], 34), std::memcpy(prevIcc, want.icc[n - 1], 34);
            std::memcpy(prevIpd, want.ipd[n - 1], 17), std::memcpy(prevOpd, want.opd[n - 1], 17);
        }
    }
}

using Frame = std::vector<Okv32fc>;

// Frames of slots (and the lookahead after them) of unit magnitude and random phase: white in
// every band, and steady in power so that the transient detector stays quiet.
Frame noise(std::mt19937* rng, int frames) {
    std::uniform_real_distribution<float> phase(0.0f, 6.2831853f);
    Frame f(size_t(PsDecoder::kSlots * frames + PsDecoder::kLookahead) * PsDecoder::kBands);
    for (Okv32fc& v : f) {
        const float p = phase(*rng);
        v = {std::cos(p), std::sin(p)};
    }
    return f;
}

PsFrame constantFrame(bool is34, int iid, int icc, bool fine, bool rb) {
    PsFrame f;
    f.numEnv = 1;
    f.border[0] = 31;
    f.iidBands = f.iccBands = is34 ? 34 : 20;
    f.is34 = is34, f.fineIid = fine, f.mixRb = rb;
    for (int b = 0; b < 34; ++b) f.iid[0][b] = int8_t(iid), f.icc[0][b] = int8_t(icc);
    return f;
}

// On noise, every QMF band above the split ones carries the level difference and coherence of
// its parameter band.
TEST(PsDecoder, NoiseGetsTheSignalledLevelDifferenceAndCoherence) {
    const float rhoOf[8] = {1, 0.937f, 0.84118f, 0.60092f, 0.36764f, 0, -0.589f, -1};
    const double dbDefault[15] = {-25, -18, -14, -10, -7, -4, -2, 0, 2, 4, 7, 10, 14, 18, 25};
    const double dbFine[16] = {0, 2, 4, 6, 8, 10, 13, 16, 19, 22, 25, 30, 35, 40, 45, 50};
    for (const bool is34 : {false, true}) {
        const bool fine = is34, rb = is34;  // Ra on the default grid, Rb on the fine one
        PsFrame f = constantFrame(is34, 0, 0, fine, rb);
        const int bands = is34 ? 34 : 20;
        for (int b = 0; b < bands; ++b) {
            f.iid[0][b] = int8_t(fine ? b % 31 - 15 : b % 15 - 7);
            f.icc[0][b] = int8_t(b % 6);  // Rb cannot give negative coherence
        }
        PsDecoder dec;
        std::mt19937 rng(3);
        Frame l(PsDecoder::kSlots * PsDecoder::kBands), r(l.size());
        std::vector<double> pl(64), pr(64), x(64);
        const Frame in = noise(&rng, 60);
        for (size_t frame = 0; frame < 60; ++frame) {
            ASSERT_EQ(dec.process(&f, &in[frame * l.size()], l.data(), r.data()), okvOk);
            if (frame < 2) continue;
            for (size_t i = 0; i < l.size(); ++i) {
                const size_t m = i % 64;
                pl[m] += double(l[i].re) * l[i].re + double(l[i].im) * l[i].im;
                pr[m] += double(r[i].re) * r[i].re + double(r[i].im) * r[i].im;
                x[m] += double(l[i].re) * r[i].re + double(l[i].im) * r[i].im;
            }
        }
        const int split = is34 ? 5 : 3, first = is34 ? 32 : 10;
        const uint8_t* parBand = is34 ? kParBand34 : kParBand20;
        for (int m = split; m < 64; ++m) {
            const int b = parBand[m - split + first];
            const int i = f.iid[0][b];
            const double wantDb = fine ? (i < 0 ? -dbFine[-i] : dbFine[i]) : dbDefault[i + 7];
            const double rho = rb ? std::max(rhoOf[f.icc[0][b]], 0.05f) : rhoOf[f.icc[0][b]];
            EXPECT_NEAR(10 * std::log10(pl[size_t(m)] / pr[size_t(m)]), wantDb, std::fabs(wantDb) > 30 ? 1.0 : 0.3)
                << "config " << bands << " band " << m;
            EXPECT_NEAR(x[size_t(m)] / std::sqrt(pl[size_t(m)] * pr[size_t(m)]), rho, 0.05)
                << "config " << bands << " band " << m;
        }
    }
}

// With full coherence the side signal drops out and left is h11 times the mono signal: the
// matrix of each envelope is reached at its border slot, linearly from the previous one.
TEST(PsDecoder, MatricesMoveLinearlyToEachEnvelopeBorder) {
    PsDecoder dec;
    Frame in(size_t(PsDecoder::kSlots + PsDecoder::kLookahead) * PsDecoder::kBands, Okv32fc{1.0f, 0.0f});
    Frame l(PsDecoder::kSlots * PsDecoder::kBands), r(l.size());
    const PsFrame flat = constantFrame(false, 0, 0, false, false);
    ASSERT_EQ(dec.process(&flat, in.data(), l.data(), r.data()), okvOk);
    PsFrame f = constantFrame(false, 0, 0, false, false);
    f.numEnv = 3;
    const int border[3] = {4, 20, 31}, iid[3] = {5, -3, -3};
    for (int e = 0; e < 3; ++e) {
        f.border[e] = border[e];
        for (int b = 0; b < 20; ++b) f.iid[e][b] = int8_t(iid[e]), f.icc[e][b] = 0;
    }
    ASSERT_EQ(dec.process(&f, in.data(), l.data(), r.data()), okvOk);
    float prev = 1.0f;
    int start = -1;
    for (int e = 0; e < 3; ++e) {
        const float target = kRaDefault[iid[e] + 7][0][0];
        for (int n = start + 1; n <= border[e]; ++n) {
            const float want = prev + (target - prev) * float(n - start) / float(border[e] - start);
            EXPECT_NEAR(l[size_t(64 * n + 40)].re, want, 1e-5) << "slot " << n;
        }
        prev = target, start = border[e];
    }
    // No parameters: the last matrices hold.
    ASSERT_EQ(dec.process(nullptr, in.data(), l.data(), r.data()), okvOk);
    for (int n = 0; n < 32; ++n) EXPECT_NEAR(l[size_t(64 * n + 40)].re, prev, 1e-5);
}

}  // namespace

