// Fixed-point SBR QMF banks: structure layout and the arithmetic shared by the analysis and
// synthesis files.
//
// The structure lies at the caller's block rounded up to 16 bytes: identifier, pointer to the
// delay-line record, allocated flag; then the record (delay-line pointer, slot position 0..9)
// at byte 32 and the delay line of signed 32-bit values at byte 48.
#pragma once

#include <cstddef>
#include <emmintrin.h>

#include "core/okv_internal.h"
#include "core/trig.h"

namespace OKV_NS {
namespace qmffx {

struct Record {
    Okv32s* delay;
    Okv32s pos;
};
struct Header {
    Okv32u id;
    Record* rec;
    Okv32u allocated;
};
static_assert(offsetof(Header, rec) == 8 && offsetof(Header, allocated) == 16 && sizeof(Header) <= 32);
constexpr int kRecordOffset = 32, kDelayOffset = 48;

enum : Okv32u {
    kAnalysisHQ = 0x434D4161u,
    kAnalysisLP = 0x434D4162u,
    kSynthesisHQ = 0x434D4163u,
    kSynthesisLP = 0x434D4164u,
    kDownHQ = 0x434D4165u,
    kDownLP = 0x434D4166u,
};

inline Header* headerAt(const void* p) {
    return reinterpret_cast<Header*>((reinterpret_cast<uintptr_t>(p) + 15) & ~uintptr_t{15});
}

// 32-bit wrap-around arithmetic.
inline Okv32s wadd(Okv32s a, Okv32s b) { return Okv32s(Okv32u(a) + Okv32u(b)); }
inline Okv32s wsub(Okv32s a, Okv32s b) { return Okv32s(Okv32u(a) - Okv32u(b)); }

// (a c - b s) and (a s + b c) rounded and shifted right by `sh`: the rotation of a + i b by
// c + i s, with 64-bit products.
inline Okv32sc rotate(Okv32s a, Okv32s b, Okv32s c, Okv32s s, int sh) {
    const int64_t half = int64_t{1} << (sh - 1);
    return {Okv32s((int64_t(a) * c - int64_t(b) * s + half) >> sh),
            Okv32s((int64_t(a) * s + int64_t(b) * c + half) >> sh)};
}

// Q30 cosine and sine of pi x.
constexpr Okv32s q30cos(double x) { return Okv32s(okv_cospi(x) * 1073741824.0 + (okv_cospi(x) < 0 ? -0.5 : 0.5)); }
constexpr Okv32s q30sin(double x) { return q30cos(x - 0.5); }

// High 32 bits of the four signed 64-bit products a * b. SSE2 multiplies unsigned; the signed
// high word is the unsigned one minus b where a < 0 and minus a where b < 0 (mod 2^32).
inline __m128i mulhi4(__m128i a, __m128i b) {
    const __m128i even = _mm_mul_epu32(a, b), odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
    const __m128i hi = _mm_or_si128(_mm_srli_epi64(even, 32), _mm_and_si128(odd, _mm_set_epi32(-1, 0, -1, 0)));
    const __m128i fix = _mm_add_epi32(_mm_and_si128(_mm_srai_epi32(a, 31), b), _mm_and_si128(_mm_srai_epi32(b, 31), a));
    return _mm_sub_epi32(hi, fix);
}

// The windowing step: acc[i] += (x[i] * w[i]) >> 32 for i < len (a multiple of 4), 64-bit
// products, 32-bit wrap-around sums; the first row of a sum (first = true) sets acc instead.
template <bool first = false>
inline void windowRow(Okv32s* acc, const Okv32s* x, const Okv32s* w, int len) {
    for (int i = 0; i < len; i += 4) {
        const __m128i p = mulhi4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(x + i)),
                                 _mm_load_si128(reinterpret_cast<const __m128i*>(w + i)));
        auto* a = reinterpret_cast<__m128i*>(acc + i);
        _mm_store_si128(a, first ? p : _mm_add_epi32(_mm_load_si128(a), p));
    }
}

}  // namespace qmffx
}  // namespace OKV_NS
