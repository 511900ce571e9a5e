#include "tns_filter.h"

#include <algorithm>
#include <cstdint>

#include "aac_tables.h"

namespace tnsfilter {

constexpr int kMaxOrder = 20;  // the Main profile's limit, which the noiseless decoder enforces

// Direct-form coefficients a[1..order] from the reflection coefficients of the indices.
void stepUp(const Okv8s* idx, int order, int res, double* a) {
    double prev[kMaxOrder + 1];
    for (int m = 1; m <= order; ++m) {
        const double k = tnsReflection(res, idx[m - 1]);
        std::copy(a + 1, a + m, prev + 1);
        for (int i = 1; i < m; ++i) a[i] = prev[i] + k * prev[m - i];
        a[m] = k;
    }
}

Okv32s nearestQ3(double v) {
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return Okv32s(v < 0 ? -int64_t(0.5 - v) : int64_t(v + 0.5));
}

// y[n] = x[n] - sum a[i] y[n - i] over n samples from x with stride dir, in double precision.
void allPole(Okv32s* x, int n, int dir, const double* a, int order) {
    double past[kMaxOrder] = {};  // past[i]: output i + 1 back
    for (int s = 0; s < n; ++s, x += dir) {
        double y = *x;
        for (int i = 0; i < order; ++i) y -= a[i + 1] * past[i];
        std::copy_backward(past, past + order - 1, past + order);
        past[0] = y;
        *x = nearestQ3(y);
    }
}

}  // namespace tnsfilter

bool tnsAboveOrder12(const TnsSide& t) {
    return std::any_of(t.order, t.order + t.nFilt[0], [](int o) { return o > 12; });
}

void tnsLongWindow(Okv32s* x, const TnsSide& t, int rateIndex) {
    const Okv16s* off = longBandOffsets(rateIndex);
    const int limit = std::min(t.maxSfb, tnsMaxBandsLong(rateIndex));
    const Okv8s* coef = t.coef;
    const int* direction = t.direction;  // one entry per filter of non-zero order
    for (int f = 0, top = longBandCount(rateIndex); f < t.nFilt[0]; ++f) {
        const int bottom = std::max(top - t.length[f], 0), order = t.order[f];
        if (order) {
            double a[tnsfilter::kMaxOrder + 1];
            tnsfilter::stepUp(coef, order, t.coefRes[0], a);
            coef += order;
            const int start = off[std::min(bottom, limit)], end = off[std::min(top, limit)];
            const bool down = *direction++ != 0;
            if (end > start) tnsfilter::allPole(down ? x + end - 1 : x + start, end - start, down ? -1 : 1, a, order);
        }
        top = bottom;
    }
}
