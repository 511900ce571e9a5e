// Runs frequency-domain predictor call sequences on arbitrary float bit patterns, band offsets
// (beyond the length, going back), flags and reset arguments.  Aborts when a call returns an
// unexpected status, writes a line at or above the end of the bands it was given, touches the
// bytes after the state, or a freed state is not refused.
//
// Input: length (2 bytes), memory offset, then per operation: a selector byte, a band count,
// offsets as signed bytes added up, flag bits, a buffer shift, the line values (float words and
// scaled bytes), a reset start and step.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_input.h"
#include "okvac.h"

namespace {

constexpr uint8_t kCanary = 0xA5;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in{data, size};
    const int len = 1 + (in.byte() << 8 | in.byte()) % 1100;
    int bytes = 0;
    if (okvsFDPGetSize_32f(len, &bytes) != okvOk) abort();
    std::vector<uint8_t> mem(size_t(bytes) + 64 + 64, kCanary);
    uint8_t* base = mem.data() + in.byte() % 64;
    FDPState* s = nullptr;
    if (okvsFDPInit_32f(&s, len, base) != okvOk) abort();
    bool freed = false;
    std::vector<float> x(size_t(len) + 16), y(size_t(len) + 16);
    for (int op = 0; op < 64 && in.n; ++op) {
        const int sel = in.byte() % 6;
        const int nBands = in.byte() % 70;
        std::vector<int> off(size_t(nBands) + 1);
        int pos = int(int8_t(in.byte()));
        for (int& o : off) o = pos, pos += int(int8_t(in.byte())) * 2;
        std::vector<unsigned char> flag(size_t(nBands) + 1);
        for (auto& f : flag) f = in.byte() & 1;
        const int shift = in.byte() % 4;
        for (size_t k = 0; k < x.size(); ++k) x[k] = k % 3 ? in.f32() : float(int8_t(in.byte())) * 1000.0f;
        const std::vector<float> before = x;
        const int start = int(in.byte()) - 2, step = int(in.byte()) - 1;
        // The status each call must give: argument checks first, then the freed state.
        int want = okvOk;
        if ((sel == 0 || sel == 3) && nBands < 1) want = okvErrSize;
        if (sel == 4) want = start < 0 ? okvErrSize : step < 1 ? okvErrStep : okvOk;
        if (want == okvOk && freed) want = okvErrContextMatch;
        int st = okvOk, limit = len + 16 - shift;
        switch (sel) {
        case 0:
            st = okvsFDPInv_32f_I(x.data() + shift, off.data(), nBands, flag.data(), s);
            // Lines at and above the highest band end (clamped to the length) stay as they were.
            limit = 0;
            for (int b = 1; b <= nBands; ++b) limit = off[b] > limit ? (off[b] < len ? off[b] : len) : limit;
            break;
        case 1: st = okvsFDPFwd_32f(x.data() + shift, y.data() + (3 - shift), s); break;
        case 2: st = okvsFDPReset_32f(s); break;
        case 3: st = okvsFDPResetSfb_32f(off.data(), nBands, flag.data(), s); break;
        case 4: st = okvsFDPResetGroup_32f(start, step, s); break;
        default:
            st = okvsFDPFree_32f(s);
            freed = true;
            break;
        }
        auto odd = [](const float* p) { return (reinterpret_cast<uintptr_t>(p) & 15) != 0; };
        const bool misaligned = (sel == 0 && odd(x.data() + shift)) ||
                                (sel == 1 && (odd(x.data() + shift) || odd(y.data() + (3 - shift))));
        if (st != (want == okvOk && misaligned ? okvWrnMisaligned : want)) abort();
        for (int k = limit + shift; k < int(x.size()); ++k)
            if (std::memcmp(&x[size_t(k)], &before[size_t(k)], 4) != 0) abort();
    }
    for (size_t k = size_t(base - mem.data()) + size_t(bytes); k < mem.size(); ++k)
        if (mem[k] != kCanary) abort();
    return 0;
}
