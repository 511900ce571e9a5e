// Fuzzes okvac's SBR decoder: the first byte picks the element kind, the CRC variant and the
// SBR rate; then come up to eight extension payloads, each a length byte and that many bytes
// (starting with the 4-bit extension type), read and processed block by block over a fixed core
// signal.
#include <cmath>

#include "okvac_aac_sources.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const int kRates[8] = {16000, 22050, 24000, 32000, 44100, 48000, 88200, 96000};
    const bool pair = data[0] & 1, crc = data[0] & 2;
    const int channels = pair ? 2 : 1;
    SbrDecoder dec;
    if (!dec.configure(kRates[(data[0] >> 2) & 7], 1, channels)) __builtin_trap();
    static int16_t core[1024];
    if (!core[1])
        for (int n = 0; n < 1024; ++n) core[n] = int16_t(12000.0 * std::sin(0.0007 * n * n) + 3000.0 * std::sin(0.9 * n));
    static float out[2048];
    int blocks = 0;
    for (size_t pos = 1; pos < size && blocks < 8; ++blocks) {
        const size_t n = std::min<size_t>(data[pos], size - pos - 1);
        ++pos;
        uint8_t payload[272 + 16] = {};
        std::copy(data + pos, data + pos + n, payload);
        pos += n;
        dec.startBlock();
        std::string why;
        if (n > 0) dec.read(0, payload, int(n) * 8 - 4, pair, crc, &why);
        for (int c = 0; c < channels; ++c) {
            if (!dec.process(c, 0, c, core, out)) __builtin_trap();
            for (float v : out)
                if (!std::isfinite(v)) __builtin_trap();
        }
    }
    return 0;
}
