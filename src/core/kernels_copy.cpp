// Copy, move, zero and set kernels.
#include <emmintrin.h>

#include <climits>

#include "core/kernels.h"
#include "okvcore/okvcore.h"

namespace OKV_NS {
namespace {

// Forward byte copy in 64- and 16-byte steps. Every chunk is loaded before it is
// stored and chunks advance upward, so it is also a correct move when dst < src.
void copyForward(const Okv8u* s, Okv8u* d, size_t n) {
    size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 16));
        __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 32));
        __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 48));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), a);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 16), b);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 32), c);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i + 48), e);
    }
    for (; i + 16 <= n; i += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i)));
    for (; i < n; ++i) d[i] = s[i];
}

// Mirror of copyForward from the top end, correct when dst > src.
void copyBackward(const Okv8u* s, Okv8u* d, size_t n) {
    size_t i = n;
    for (; i >= 64; i -= 64) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i - 16));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i - 32));
        __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i - 48));
        __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i - 64));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i - 16), a);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i - 32), b);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i - 48), c);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i - 64), e);
    }
    for (; i >= 16; i -= 16)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i - 16),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i - 16)));
    for (; i > 0; --i) d[i - 1] = s[i - 1];
}

StatusCode copyBytes(const void* src, void* dst, int len, size_t elem) {
    if (!src || !dst) return okvErrNullPtr;
    if (len < 1) return okvErrSize;
    copyForward(static_cast<const Okv8u*>(src), static_cast<Okv8u*>(dst), size_t(len) * elem);
    return okvOk;
}

StatusCode moveBytes(const void* src, void* dst, int len, size_t elem) {
    if (!src || !dst) return okvErrNullPtr;
    if (len < 1) return okvErrSize;
    auto* s = static_cast<const Okv8u*>(src);
    auto* d = static_cast<Okv8u*>(dst);
    if (d > s)
        copyBackward(s, d, size_t(len) * elem);
    else if (d < s)
        copyForward(s, d, size_t(len) * elem);
    return okvOk;
}

StatusCode zeroBytes(void* dst, int len, size_t elem) {
    if (!dst) return okvErrNullPtr;
    if (len < 1) return okvErrSize;
    __builtin_memset(dst, 0, size_t(len) * elem);
    return okvOk;
}

}  // namespace

StatusCode okvsCopy_8u(const Okv8u* src, Okv8u* dst, int len) { return copyBytes(src, dst, len, 1); }
StatusCode okvsCopy_32s(const Okv32s* src, Okv32s* dst, int len) { return copyBytes(src, dst, len, 4); }
StatusCode okvsCopy_32f(const Okv32f* src, Okv32f* dst, int len) { return copyBytes(src, dst, len, 4); }
StatusCode okvsMove_8u(const Okv8u* src, Okv8u* dst, int len) { return moveBytes(src, dst, len, 1); }
StatusCode okvsMove_32f(const Okv32f* src, Okv32f* dst, int len) { return moveBytes(src, dst, len, 4); }

StatusCode okvsZero_8u(Okv8u* dst, int len) { return zeroBytes(dst, len, 1); }
StatusCode okvsZero_16s(Okv16s* dst, int len) { return zeroBytes(dst, len, 2); }
StatusCode okvsZero_32s(Okv32s* dst, int len) { return zeroBytes(dst, len, 4); }
StatusCode okvsZero_32sc(Okv32sc* dst, int len) { return zeroBytes(dst, len, 8); }
StatusCode okvsZero_32f(Okv32f* dst, int len) { return zeroBytes(dst, len, 4); }
StatusCode okvsZero_32fc(Okv32fc* dst, int len) { return zeroBytes(dst, len, 8); }

StatusCode okvsSet_32s(Okv32s value, Okv32s* dst, int len) {
    if (!dst) return okvErrNullPtr;
    if (len < 1) return okvErrSize;
    const __m128i v = _mm_set1_epi32(value);
    int i = 0;
    for (; i + 4 <= len; i += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), v);
    for (; i < len; ++i) dst[i] = value;
    return okvOk;
}

void ownsSet_8u(Okv8u value, Okv8u* dst, int len) {
    if (len > 0) __builtin_memset(dst, value, size_t(len));
}

Okv8u* okvsMalloc_8u(int len) {
    return len > 0 ? static_cast<Okv8u*>(okvMalloc(len)) : nullptr;
}

Okv32f* okvsMalloc_32f(int len) {
    if (len <= 0 || len > INT_MAX / 4) return nullptr;
    return static_cast<Okv32f*>(okvMalloc(len * 4));
}

void okvsFree(void* p) { okvFree(p); }

}  // namespace OKV_NS
