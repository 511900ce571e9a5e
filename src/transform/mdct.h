// Generic MDCT spec layout shared by the float and 16-bit kinds.
#pragma once

#include "transform/fft.h"

namespace OKV_NS {

enum : Okv32s {
    kMdctIdFwd32f = 55,
    kMdctIdInv32f = 56,
    kMdctIdFwd16s = 57,
};

struct OkvMdctSpec {
    Okv32s id;
    Okv32s len;
    Okv32s workSize;
    Okv32s fftOrder;
    Okv32s allocated;
    const void* twiddle;  // float pairs (grouped for powers of two) or Q14 pairs
    const void* fft;      // OkvsFFTSpec_32f or OkvsFFTSpec_16sc; null for 12 and 36
    Okv8u* mem;
};

// The opaque exported spec types are this layout.
template <class T>
inline OkvMdctSpec* ownsMdctSpec(T* p) {
    return reinterpret_cast<OkvMdctSpec*>(p);
}
template <class T>
inline const OkvMdctSpec* ownsMdctSpec(const T* p) {
    return reinterpret_cast<const OkvMdctSpec*>(p);
}

// Zeroed spec header at the first 64-byte boundary of pMem; the tables follow 64 bytes on.
inline OkvMdctSpec* ownsMdctHeader(Okv8u* pMem, int len, int workSize) {
    Okv8u* a = ownsAlign64(pMem);
    for (unsigned i = 0; i < sizeof(OkvMdctSpec); ++i) a[i] = 0;
    OkvMdctSpec* s = reinterpret_cast<OkvMdctSpec*>(a);
    s->len = len;
    s->workSize = workSize;
    return s;
}

// log2(len) for powers of two, else -1.
inline int ownsLog2(int len) {
    if (len <= 0 || (len & (len - 1))) return -1;
    return __builtin_ctz(unsigned(len));
}

// The fold of the forward transform for slot m of q = len/4:
// u = +-x[u0] - x[u1], v = +-x[v0] - x[v1], the first term negated when uNeg / vNeg.
struct OkvMdctFold {
    int u0, u1, v0, v1;
    bool uNeg, vNeg;
};

inline OkvMdctFold ownsMdctFold(int n, int m) {
    const int q = n / 4;
    if (m < (q + 1) / 2) return {n - q + 2 * m, n - q - 2 * m - 1, q - 2 * m - 1, q + 2 * m, true, false};
    return {2 * m - q, n - q - 2 * m - 1, n + q - 2 * m - 1, q + 2 * m, false, true};
}

}  // namespace OKV_NS
