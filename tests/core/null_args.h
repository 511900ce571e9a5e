// fn(p...) with each pointer in turn null: the first such call not refused with okvErrNullPtr, or -1.
#pragma once

#include <utility>

#include "okvac.h"

namespace nullargs {

template <class F, class... P>
int firstNullNotRefused(F fn, P... p) {
    return [&]<size_t... I>(std::index_sequence<I...>) {
        for (size_t i = 0; i < sizeof...(P); ++i)
            if (fn((I == i ? P{} : p)...) != okvErrNullPtr) return int(i);
        return -1;
    }(std::index_sequence_for<P...>{});
}

}  // namespace nullargs
