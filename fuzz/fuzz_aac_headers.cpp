// Fuzzes the AAC header and element parsers.  Input: a control byte (parser, bit offset, flags),
// four argument bytes, then the stream.  The stream sits at the start of a buffer followed by a
// zero guard as large as the longest element (an ADIF header with 16 program configurations,
// under 5 KB) plus the three look-ahead bytes, so any read past that is a fault.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "okvac.h"

namespace {
constexpr size_t kGuard = 5120;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 5) return 0;
    const int which = data[0] % 9, offset = (data[0] >> 4) & 7;
    const int8_t* a = reinterpret_cast<const int8_t*>(data + 1);  // signed: negative arguments too
    std::vector<uint8_t> buf(data + 5, data + size);
    const size_t len = buf.size();
    buf.resize(len + kGuard, 0);
    Okv8u* p = buf.data();
    int off = offset;
    StatusCode st = okvOk;
    switch (which) {
        case 0: {
            static AACPrgCfgElt pce[16];
            AACADIFHeader h;
            st = okvsUnpackADIFHeader_AAC(&p, &h, pce, a[0]);
            if (st == okvOk && (h.numPrgCfgElt < 1 || h.numPrgCfgElt > a[0])) __builtin_trap();
            break;
        }
        case 1: {
            AACADTSFrameHeader h;
            st = okvsUnpackADTSFrameHeader_AAC(&p, &h);
            if (st != okvOk || (p - buf.data() != 7 && p - buf.data() != 9)) __builtin_trap();
            break;
        }
        case 2: {
            AACPrgCfgElt e;
            st = okvsDecodePrgCfgElt_AAC(&p, &off, &e);
            break;
        }
        case 3: {
            int n;
            Okv8u out[269];
            st = okvsDecodeFillElt_AAC(&p, &off, &n, out);
            if (st == okvOk && (n < 0 || n > 269)) __builtin_trap();
            break;
        }
        case 4: {
            int tag, n;
            Okv8u out[510];
            st = okvsDecodeDatStrElt_AAC(&p, &off, &tag, &n, out);
            if (st == okvOk && (n < 0 || n > 510)) __builtin_trap();
            break;
        }
        case 5: {
            Okv8u ms[480];
            AACMainHeader h;
            h.pMsUsed = ms;
            st = okvsDecodeMainHeader_AAC(&p, &off, &h, a[0], a[1]);
            break;
        }
        case 6: {
            Okv8u ms[240] = {};
            AACExtHeader h;
            h.pMsUsed = ms;
            st = okvsDecodeExtensionHeader_AAC(&p, &off, &h, a[0] & 3, (a[0] >> 2) & 3, (a[0] >> 4) & 3, a[1], a[2],
                                               a[3]);
            break;
        }
        case 7: {
            AACIcsInfo ics;
            AACChanPairElt cpe;
            st = okvsDecodeChanPairElt_AAC(&p, &off, &ics, &cpe, a[0]);
            break;
        }
        default: {
            AACIcsInfo ics;
            AACChanPairElt cpe;
            AACMainHeader h;
            st = okvsDecodeChanPairElt_MP4_AAC(&p, &off, &ics, &cpe, &h, a[0], a[1]);
            break;
        }
    }
    (void)st;
    if (off < 0 || off > 7 || size_t(p - buf.data()) > len + kGuard - 3) __builtin_trap();
    return 0;
}
