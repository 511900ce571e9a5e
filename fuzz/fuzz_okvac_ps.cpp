// Fuzzes okvac's parametric-stereo reader and synthesis: the input is a chain of payloads,
// each a length byte then that many bytes; every payload is read and one frame of a fixed
// mono signal is mixed with whatever it gave. Outputs must stay finite.
#include <cmath>
#include <vector>

#include "../tools/okvac/ps/ps_decoder.cpp"
#include "../tools/okvac/ps/ps_reader.cpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    constexpr size_t kFrame = size_t(PsDecoder::kSlots) * PsDecoder::kBands;
    std::vector<Okv32fc> mono(kFrame + PsDecoder::kLookahead * PsDecoder::kBands), left(kFrame), right(kFrame);
    for (size_t i = 0; i < mono.size(); ++i) mono[i] = {float(i % 7) - 3.0f, float(i % 5) - 2.0f};
    PsReader reader;
    PsDecoder dec;
    for (int frame = 0; size > 0 && frame < 8; ++frame) {
        const size_t len = std::min<size_t>(data[0], size - 1);
        BitCursor bc{data + 1, 0, data + 1 + len};
        PsFrame f;
        const bool ok = reader.read(&bc, 8LL * long(len), &f);
        if (dec.process(ok ? &f : nullptr, mono.data(), left.data(), right.data()) != okvOk) __builtin_trap();
        for (size_t i = 0; i < kFrame; ++i)
            if (!std::isfinite(left[i].re + left[i].im + right[i].re + right[i].im)) __builtin_trap();
        data += 1 + len, size -= 1 + len;
    }
    return 0;
}
