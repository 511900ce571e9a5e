// Compiles arbitrary entry lists into decoding and encoding specs of exactly
// the reported size, then decodes the rest of the input with them.
//
// Input: flags, N, B, number of sizes (1..4), the sizes, number of entries,
// entries of 8 bytes (value 4, code 3, length 1), then the stream.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_input.h"
#include "okvac.h"

namespace {

constexpr size_t kPad = 8;  // decoders read up to 8 bytes from the current byte
constexpr int kMaxSpecBytes = 1 << 22;

using Input = FuzzInput;

template <class T>
T* spec_at(std::vector<uint8_t>& mem, int size) {
    mem.assign(size_t(size), 0);
    return reinterpret_cast<T*>(mem.data());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, size};
    const uint8_t flags = in.byte();
    const int N = in.byte() % 6, B = in.byte() % 10;
    std::vector<Okv32s> sizes(in.byte() % 4 + 1);
    for (auto& s : sizes) s = int8_t(in.byte()) % 10;  // -9..9: refused below 1
    std::vector<VLCCodeEntry> e(in.byte() % 64 + 1);
    for (auto& x : e) {
        uint32_t v = 0, c = 0;
        for (int i = 0; i < 4; ++i) v = v << 8 | in.byte();
        for (int i = 0; i < 3; ++i) c = c << 8 | in.byte();
        // Values mostly small; lengths -1..33 (outside 1..32 on purpose).
        x.value = (flags & 1) ? int32_t(v) : int32_t(int16_t(v));
        x.code = c | (flags & 2 ? c << 24 : 0);
        x.length = int(in.byte() % 35) - 1;
    }
    std::vector<uint8_t> stream(in.p, in.p + in.n);
    const uint64_t bits = stream.size() * 8;
    stream.resize(stream.size() + kPad, 0);
    const int ne = int(e.size()), ns = int(sizes.size());
    int L = 1;
    for (auto& x : e) L = x.length > L ? x.length : L;

    std::vector<uint8_t> mem;
    int bytes = 0;
    if (okvsVLCDecodeGetSize_32s(e.data(), ne, sizes.data(), ns, &bytes) == okvOk && bytes <= kMaxSpecBytes) {
        auto* spec = spec_at<OkvsVLCDecodeSpec_32s>(mem, bytes);
        if (okvsVLCDecodeInit_32s(e.data(), ne, sizes.data(), ns, spec) == okvOk) {
            // Each code takes at most L bits: the position stays inside the data.
            std::vector<Okv16s> out(bits / uint64_t(L) + 1);
            const Okv8u* p = stream.data();
            int off = 0;
            okvsVLCDecodeBlock_1u16s(&p, &off, out.data(), int(bits / uint64_t(L)), spec);
            if (bits >= uint64_t(L)) {
                p = stream.data();
                off = 0;
                okvsVLCDecodeOne_1u16s(&p, &off, out.data(), spec);
            }
        }
    }
    if (okvsVLCDecodeUTupleGetSize_32s(e.data(), ne, sizes.data(), ns, N, B, &bytes) == okvOk && bytes <= kMaxSpecBytes) {
        auto* spec = spec_at<OkvsVLCDecodeUTupleSpec_32s>(mem, bytes);
        if (okvsVLCDecodeUTupleInit_32s(e.data(), ne, sizes.data(), ns, N, B, spec) == okvOk) {
            const uint64_t tuples = bits / uint64_t(L + N);
            std::vector<Okv16s> out((tuples + 1) * uint64_t(N));
            const Okv8u* p = stream.data();
            int off = 0;
            okvsVLCDecodeUTupleBlock_1u16s(&p, &off, out.data(), int(tuples) * N, spec);
            if (tuples) {
                p = stream.data();
                off = 0;
                okvsVLCDecodeUTupleOne_1u16s(&p, &off, out.data(), spec);
            }
        }
    }
    if (okvsVLCEncodeGetSize_32s(e.data(), ne, &bytes) == okvOk && bytes <= kMaxSpecBytes) {
        auto* spec = spec_at<OkvsVLCEncodeSpec_32s>(mem, bytes);
        if (okvsVLCEncodeInit_32s(e.data(), ne, spec) == okvOk) {
            // Values of the table and around it, written and counted.
            std::vector<Okv16s> vals;
            for (size_t i = 0; i + 1 < stream.size() - kPad && vals.size() < 256; i += 2)
                vals.push_back(Okv16s(stream[i] & 1 ? e[stream[i + 1] % ne].value : int16_t(stream[i] << 8 | stream[i + 1])));
            if (!vals.empty()) {
                std::vector<uint8_t> out(vals.size() * 4 + 8);
                Okv8u* p = out.data();
                int off = flags >> 5;
                Okv32s count = 0;
                const StatusCode st = okvsVLCEncodeBlock_16s1u(vals.data(), int(vals.size()), &p, &off, spec);
                if (okvsVLCCountBits_16s32s(vals.data(), int(vals.size()), &count, spec) != st) abort();
                if (st == okvOk && uint64_t(p - out.data()) * 8 + uint64_t(off) != uint64_t(count) + (flags >> 5)) abort();
            }
        }
    }
    return 0;
}
