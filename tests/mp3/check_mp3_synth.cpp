// Variant harness: both synthesis forms over several consecutive slots, random positions,
// both output modes and the refusals. Float inputs are finite (extremes and denormals
// included): with several NaN operands x86 keeps the first one's payload, and operand order
// of commutative operations is the compiler's.
#include <cmath>
#include <vector>

#include "harness/checkasm.h"

CHECK_EXPORTS(mp3_synth, "okvsSynthPQMF_MP3_32s16s", "okvsSynthesisFilterGetSize_PQMF_MP3_32f",
              "okvsSynthesisFilterInit_PQMF_MP3_32f", "okvsSynthesisFilterInitAlloc_PQMF_MP3_32f",
              "okvsSynthesisFilterFree_PQMF_MP3_32f", "okvsSynthesisFilter_PQMF_MP3_32f") {
    for (int it = 0; it < c.iters(); ++it) {
        const int mode = c.rng().range(0, 3);
        const int slots = c.rng().range(1, 20);
        const int shift = c.rng().range(0, 8);  // from full 32-bit patterns down to decoder levels
        const int pos0 = c.rng().range(0, 17);
        c.call("okvsSynthPQMF_MP3_32s16s", [&](chk::Arena& a, int v) -> int {
            const Okv32s* in = a.in<Okv32s>(32 * slots, [&](size_t) { return a.rng().i32() >> shift; });
            Okv16s* out = a.out<Okv16s>(64 * slots);
            Okv32s* hist = a.inout<Okv32s>(512, [&](size_t) { return a.rng().i32() >> (shift + 4); });
            int* pos = a.inout<int>(1, [&](size_t) { return pos0; });
            int st = okvOk;
            for (int s = 0; s < slots && st == okvOk; ++s)
                st = OKV_BODY(v, okvsSynthPQMF_MP3_32s16s)(in + 32 * s, out + 64 * s, hist, pos, mode);
            return st;
        });
        auto finite = [](chk::Arena& a) {
            const float f = a.rng().f32();
            return std::isfinite(f) ? f : 3.0e38f;
        };
        c.call("okvsSynthesisFilter_PQMF_MP3_32f", [&](chk::Arena& a, int v) -> int {
            const Okv32f* in = a.in<Okv32f>(32 * slots, [&](size_t) { return finite(a); });
            Okv32f* out = a.out<Okv32f>(64 * slots);
            int size = 0;
            int st = OKV_BODY(v, okvsSynthesisFilterGetSize_PQMF_MP3_32f)(&size);
            if (st != okvOk) return st;
            std::vector<Okv8u> mem(size + 16);  // holds a pointer: not compared
            PQMFSynthesisSpec* spec = nullptr;
            st = OKV_BODY(v, okvsSynthesisFilterInit_PQMF_MP3_32f)(&spec, mem.data() + (it & 15));
            for (int s = 0; s < slots && st == okvOk; ++s)
                st = OKV_BODY(v, okvsSynthesisFilter_PQMF_MP3_32f)(in + 32 * s, out + 64 * s, spec, mode);
            return st;
        });
        c.call("okvsSynthesisFilterInitAlloc_PQMF_MP3_32f", [&](chk::Arena& a, int v) -> int {
            const Okv32f* in = a.in<Okv32f>(32, [&](size_t) { return finite(a); });
            Okv32f* out = a.out<Okv32f>(32);
            PQMFSynthesisSpec* spec = nullptr;
            int st = OKV_BODY(v, okvsSynthesisFilterInitAlloc_PQMF_MP3_32f)(&spec);
            if (st != okvOk) return st;
            st = OKV_BODY(v, okvsSynthesisFilter_PQMF_MP3_32f)(in, out, spec, 1);
            const int fr = OKV_BODY(v, okvsSynthesisFilterFree_PQMF_MP3_32f)(spec);
            return st != okvOk ? st : fr;
        });
        // Lifecycle on caller memory: size, Init at any offset, Free of a built and of a foreign block.
        c.call("okvsSynthesisFilterGetSize_PQMF_MP3_32f", [&](chk::Arena& a, int v) -> int {
            int* size = a.out<int>(1);
            return OKV_BODY(v, okvsSynthesisFilterGetSize_PQMF_MP3_32f)(it & 1 ? size : nullptr);
        });
        c.call("okvsSynthesisFilterInit_PQMF_MP3_32f", [&](chk::Arena& a, int v) -> int {
            std::vector<Okv8u> mem(2107 + 16);
            PQMFSynthesisSpec* spec = nullptr;
            const int st = OKV_BODY(v, okvsSynthesisFilterInit_PQMF_MP3_32f)(&spec, mem.data() + (it & 15));
            Okv32s* res = a.out<Okv32s>(2);
            res[0] = int(reinterpret_cast<Okv8u*>(spec) - mem.data());
            res[1] = reinterpret_cast<Okv32s*>(spec)[1];
            return st;
        });
        c.call("okvsSynthesisFilterFree_PQMF_MP3_32f", [&](chk::Arena&, int v) -> int {
            std::vector<Okv8u> block(2107 + 16, 0);  // holds a pointer once built: not compared
            PQMFSynthesisSpec* spec = nullptr;
            if (it & 1) OKV_BODY(v, okvsSynthesisFilterInit_PQMF_MP3_32f)(&spec, block.data());
            return OKV_BODY(v, okvsSynthesisFilterFree_PQMF_MP3_32f)(
                reinterpret_cast<PQMFSynthesisSpec*>(block.data()));
        });
    }
}
