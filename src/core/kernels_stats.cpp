// Sort, standard deviation and extremes.
#include <emmintrin.h>

#include "core/kernels.h"

namespace OKV_NS {

StatusCode okvsSortAscend_32s_I(Okv32s* srcDst, int len) {
    if (!srcDst) return okvErrNullPtr;
    if (len < 1) return okvErrSize;
    // Quicksort on an explicit stack; the larger part is pushed and the smaller
    // continued, so 64 entries cover any 32-bit length.
    struct Range { int lo, hi; };
    Range stack[64];
    int top = 0;
    int lo = 0, hi = len - 1;
    for (;;) {
        if (hi - lo < 9) {
            // Selection sort: move the largest remaining element to the end.
            for (int end = hi; end > lo; --end) {
                int m = lo;
                for (int k = lo + 1; k <= end; ++k)
                    if (srcDst[k] > srcDst[m]) m = k;
                const Okv32s t = srcDst[m];
                srcDst[m] = srcDst[end];
                srcDst[end] = t;
            }
            if (top == 0) break;
            lo = stack[--top].lo;
            hi = stack[top].hi;
            continue;
        }
        const Okv32s pivot = srcDst[lo + (hi - lo) / 2];
        int i = lo, j = hi;
        while (i <= j) {
            while (srcDst[i] < pivot) ++i;
            while (srcDst[j] > pivot) --j;
            if (i <= j) {
                const Okv32s t = srcDst[i];
                srcDst[i++] = srcDst[j];
                srcDst[j--] = t;
            }
        }
        // [lo, j] and [i, hi] remain.
        if (j - lo < hi - i) {
            stack[top++] = {i, hi};
            hi = j;
        } else {
            stack[top++] = {lo, j};
            lo = i;
        }
        if (hi < lo) {  // empty part: pop the other
            lo = stack[--top].lo;
            hi = stack[top].hi;
        }
    }
    return okvOk;
}

StatusCode okvsStdDev_32f(const Okv32f* src, int len, Okv32f* pStdDev, int hint) {
    if (!src || !pStdDev) return okvErrNullPtr;
    if (len < 2) return okvErrSize;
    double s1 = 0.0, s2 = 0.0;
    if (hint == 1) {
        // Four single-precision lanes per block of 1024, block totals in double.
        for (int b = 0; b < len; b += 1024) {
            const int end = len - b < 1024 ? len : b + 1024;
            __m128 a1 = _mm_setzero_ps(), a2 = _mm_setzero_ps();
            int i = b;
            for (; i + 4 <= end; i += 4) {
                const __m128 x = _mm_loadu_ps(src + i);
                a1 = _mm_add_ps(a1, x);
                a2 = _mm_add_ps(a2, _mm_mul_ps(x, x));
            }
            alignas(16) float l1[4], l2[4];
            _mm_store_ps(l1, a1);
            _mm_store_ps(l2, a2);
            float t1 = (l1[0] + l1[1]) + (l1[2] + l1[3]);
            float t2 = (l2[0] + l2[1]) + (l2[2] + l2[3]);
            for (; i < end; ++i) {
                t1 += src[i];
                t2 += src[i] * src[i];
            }
            s1 += t1;
            s2 += t2;
        }
    } else {
        for (int i = 0; i < len; ++i) {
            const double x = src[i];
            s1 += x;
            s2 += x * x;
        }
    }
    const double n = len;
    double var = n * s2 - s1 * s1;
    if (!(var > 0.0)) var = 0.0;
    *pStdDev = float(__builtin_sqrt(var / ((n - 1.0) * n)));
    return okvOk;
}

StatusCode okvsMinMax_16s(const Okv16s* src, int len, Okv16s* pMin, Okv16s* pMax) {
    if (!src || !pMin || !pMax) return okvErrNullPtr;
    if (len < 1) return okvErrSize;
    Okv16s mn = src[0], mx = src[0];
    int i = 0;
    if (len >= 8) {
        __m128i vmn = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
        __m128i vmx = vmn;
        for (i = 8; i + 8 <= len; i += 8) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
            vmn = _mm_min_epi16(vmn, v);
            vmx = _mm_max_epi16(vmx, v);
        }
        alignas(16) Okv16s lmn[8], lmx[8];
        _mm_store_si128(reinterpret_cast<__m128i*>(lmn), vmn);
        _mm_store_si128(reinterpret_cast<__m128i*>(lmx), vmx);
        for (int k = 0; k < 8; ++k) {
            mn = lmn[k] < mn ? lmn[k] : mn;
            mx = lmx[k] > mx ? lmx[k] : mx;
        }
    }
    for (; i < len; ++i) {
        mn = src[i] < mn ? src[i] : mn;
        mx = src[i] > mx ? src[i] : mx;
    }
    *pMin = mn;
    *pMax = mx;
    return okvOk;
}

}  // namespace OKV_NS

