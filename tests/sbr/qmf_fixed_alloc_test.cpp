// InitAlloc of the fixed QMF banks when the core allocator fails: this binary interposes
// okvMalloc (the library resolves it here first) and fails the n-th call once armed.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include "okvac.h"

namespace {
int gFailAt = 0;  // calls left until the failing one; 0 = pass everything through
int gLive = 0;    // blocks handed out and not yet released
}  // namespace

extern "C" void* okvMalloc(int32_t len) {
    static auto real = reinterpret_cast<void* (*)(int32_t)>(dlsym(RTLD_NEXT, "okvMalloc"));
    if (gFailAt > 0 && --gFailAt == 0) return nullptr;
    void* p = real(len);
    gLive += p != nullptr;
    return p;
}

extern "C" void okvFree(void* p) {
    static auto real = reinterpret_cast<void (*)(void*)>(dlsym(RTLD_NEXT, "okvFree"));
    gLive -= p != nullptr;
    real(p);
}

namespace {

// Every allocation an InitAlloc makes, failed in turn: okvErrMemAlloc, *ppSpec untouched
// (null), nothing left allocated; unarmed, the same call succeeds and Free releases it.
TEST(SbrQmfFixed, InitAllocFailureLeaksNothing) {
    using InitAlloc = StatusCode (*)(void**);
    using Free = StatusCode (*)(void*);
    const std::pair<InitAlloc, Free> banks[] = {
        {okvsAnalysisFilterInitAlloc_SBRHQ_32s32sc, okvsAnalysisFilterFree_SBRHQ_32s32sc},
        {okvsAnalysisFilterInitAlloc_SBRLP_32s, okvsAnalysisFilterFree_SBRLP_32s},
        {okvsSynthesisFilterInitAlloc_SBRHQ_32sc32s, okvsSynthesisFilterFree_SBRHQ_32sc32s},
        {okvsSynthesisFilterInitAlloc_SBRLP_32s, okvsSynthesisFilterFree_SBRLP_32s},
        {okvsSynthesisDownFilterInitAlloc_SBRHQ_32sc32s, okvsSynthesisDownFilterFree_SBRHQ_32sc32s},
        {okvsSynthesisDownFilterInitAlloc_SBRLP_32s, okvsSynthesisDownFilterFree_SBRLP_32s},
    };
    for (const auto& [initAlloc, release] : banks) {
        gLive = 0;
        for (int n = 1;; ++n) {
            gFailAt = n;
            void* spec = nullptr;
            const StatusCode s = initAlloc(&spec);
            const bool failed = gFailAt == 0;
            gFailAt = 0;
            if (!failed) {
                ASSERT_EQ(s, okvOk);
                ASSERT_GE(n, 2) << "InitAlloc never reached the allocator";
                EXPECT_EQ(gLive, 1);
                EXPECT_EQ(release(spec), okvOk);
                EXPECT_EQ(gLive, 0);
                break;
            }
            EXPECT_EQ(s, okvErrMemAlloc) << "allocation " << n;
            EXPECT_EQ(spec, nullptr);
            EXPECT_EQ(gLive, 0);
        }
    }
}

}  // namespace
