// Fuzzes both noiseless decoders with fuzzed records.  Input: 24 control bytes (decoder, bit
// offset, flags, channel record, ICS record, header grouping, arguments), then the stream.
// One channel stream reads at most about 4050 bytes (1024 book-11 values with the longest
// escapes dominate), so a 4 KB zero guard plus the look-ahead follows the stream.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "okvac.h"

namespace {
constexpr size_t kGuard = 4096 + 3;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 24) return 0;
    const int8_t* c = reinterpret_cast<const int8_t*>(data);
    const bool mp4 = c[0] & 1;
    const int offset = (c[0] >> 1) & 7, common = (c[0] >> 4) & 3;
    AACIcsInfo ics{};
    ics.winSequence = c[1] % 5;
    ics.maxSfb = c[2];
    ics.numWinGrp = c[3] % 10;
    for (int g = 0; g < 8; ++g) ics.lenWinGrp[g] = c[4 + g] % 10;
    AACMainHeader hdr{};
    hdr.numWinGrp = c[12] % 10;
    for (int g = 0; g < 8; ++g) hdr.lenWinGrp[g] = ics.lenWinGrp[(g + c[13]) & 7];
    AACChanInfo ci{};
    ci.samplingRateIndex = c[14] % 13;
    ci.predSfbMax = c[15] & 0x80 ? c[15] & 63 : 0;
    ci.pIcsInfo = c[16] == 0x55 ? nullptr : &ics;
    std::vector<uint8_t> buf(data + 24, data + size);
    const size_t len = buf.size();
    buf.resize(len + kGuard, 0);
    Okv8u* p = buf.data();
    int off = offset;
    Okv16s sf[120];
    Okv8u cb[120];
    Okv32s spec[1024];
    Okv8s tns[60];
    if (mp4)
        okvsNoiselessDecode_AAC(&p, &off, &hdr, sf, spec, cb, tns, &ci, c[17] % 5, c[18], common, (c[19] & 3) % 3,
                                c[20] % 18);
    else
        okvsNoiselessDecoder_LC_AAC(&p, &off, common, &ci, sf, spec, cb, tns);
    if (off < 0 || off > 7 || size_t(p - buf.data()) > len + kGuard - 3) __builtin_trap();
    return 0;
}
