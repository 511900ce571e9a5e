// The AAC spectral chain on fuzzed frame parameters, side data and quantised values:
// inverse quantisation, M/S, intensity, deinterleaving, noise substitution, TNS both ways,
// then the filterbank in both inverse forms and both forward forms.
//
// Input: [0..7] window length, rate, maxSfb, group count, mask mode, channel, sequence and
// shapes; [8..15] group lengths; [16..423] scalefactors (16-bit); [424..831] codebooks;
// [832..1311] M/S flags; [1312..1411] TNS side data; then 16-bit quantised values.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "okvac.h"

namespace {

struct Reader {
    const uint8_t* p;
    size_t n;
    uint8_t u8() { return n ? (--n, *p++) : 0; }
    int s16() { return int16_t(u8() | (u8() << 8)); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Reader r{data, size};
    const int winLen = (r.u8() & 1) ? 128 : 1024;
    const int rate = r.u8() % 13;
    const int maxSfb = r.u8() % 53;
    const int numGrp = r.u8() % 10;
    const int mask = r.u8() % 4;
    const int channel = r.u8() % 3;
    const int seqShape = r.u8();
    const int prevShape = r.u8() & 1;
    int len[8];
    for (int& v : len) v = int8_t(r.u8()) % 10;
    Okv16s sf[8 * 51];
    for (auto& v : sf) v = Okv16s(r.s16());
    Okv8u cb[8 * 51], cbR[8 * 51];
    for (int i = 0; i < 8 * 51; ++i) cb[i] = cbR[i] = r.u8() % 17;
    Okv8u ms[8 * 60];
    for (auto& v : ms) v = r.u8() & 1;
    int nFilt[8], tlen[8], order[8], res[8], dir[8];
    for (int i = 0; i < 8; ++i) {
        nFilt[i] = int8_t(r.u8()) % 5;
        tlen[i] = int8_t(r.u8()) % 60;
        order[i] = int8_t(r.u8()) % 14;
        res[i] = 2 + r.u8() % 4;
        dir[i] = r.u8() % 3;
    }
    Okv8s coef[60];
    for (auto& v : coef) v = Okv8s(int8_t(r.u8()) % 10);

    std::vector<Okv32s> l(1024), rt(1024), win(1024), ov(1024), ov2(1024), work(2048), tmp(2048);
    for (int i = 0; i < 1024 && r.n >= 2; ++i) l[i] = r.s16() % 9000;
    for (int i = 0; i < 1024 && r.n >= 2; ++i) rt[i] = r.s16() % 9000;
    for (auto& v : ov) v = int32_t(0x9E3779B9u * uint32_t(&v - ov.data())) >> 10;
    int ltp[41] = {}, saved[8 * 51] = {};
    int seed = int(size);

    okvsQuantInv_AAC_32s_I(l.data(), sf, numGrp, len, maxSfb, cb, rate, winLen);
    okvsQuantInv_AAC_32s_I(rt.data(), sf, numGrp, len, maxSfb, cbR, rate, winLen);
    okvsDecodeMsStereo_AAC_32s_I(l.data(), rt.data(), mask, ms, cbR, numGrp, len, maxSfb, rate, winLen);
    okvsDecodeIsStereo_AAC_32s(l.data(), rt.data(), sf, cbR, numGrp, len, maxSfb, rate, winLen);
    if (okvsDeinterleaveSpectrum_AAC_32s(l.data(), win.data(), numGrp, len, maxSfb, rate, winLen) == okvOk)
        l = win;
    okvsDecodePNS_AAC_32s(l.data(), ltp, cb, sf, maxSfb, numGrp, len, rate, winLen, &seed);
    okvsDecodeMsPNS_AAC_32s(rt.data(), ltp, cbR, sf, maxSfb, numGrp, len, rate, winLen, &seed, channel, ms, saved);
    okvsDecodeTNS_AAC_32s_I(l.data(), nFilt, tlen, order, res, coef, dir, maxSfb, 1, rate, winLen);
    okvsEncodeTNS_AAC_32s_I(rt.data(), nFilt, tlen, order, res, coef, dir, maxSfb, mask, rate, winLen);

    const int seq = seqShape & 3, shape = (seqShape >> 2) & 1;
    Okv16s pcm[2048];
    okvsMDCTInv_AAC_32s16s(l.data(), pcm, ov.data(), seq, shape, prevShape, 1 + ((seqShape >> 3) & 1));
    for (auto& v : rt) v >>= 8;  // the in-place core needs headroom
    okvsMDCTInv_AAC_32s_I(rt.data(), ov2.data(), seq, shape, prevShape, 1024);
    for (int i = 0; i < 2048; ++i) tmp[i] = i < 1024 ? l[i] : rt[i - 1024];
    okvsMDCTFwd_AAC_32s(tmp.data(), win.data(), tmp.data(), seq, shape, prevShape, work.data());
    okvsMDCTFwd_AAC_32s_I(tmp.data(), seq, shape, prevShape, 2048);
    return 0;
}
