// Per-call work buffer: the caller's (from its first 64-byte boundary) or,
// when the caller passes none, one allocated for the call.
#pragma once

#include "core/kernels.h"
#include "transform/fft.h"

namespace OKV_NS {

class OkvWorkBuf {
public:
    OkvWorkBuf(Okv8u* user, int size) {
        if (user) {
            p_ = ownsAlign64(user);
        } else if (size > 0) {
            own_ = okvsMalloc_8u(size);
            p_ = own_ ? ownsAlign64(own_) : nullptr;
            ok_ = own_ != nullptr;
        }
    }
    ~OkvWorkBuf() {
        if (own_) okvsFree(own_);
    }
    OkvWorkBuf(const OkvWorkBuf&) = delete;
    OkvWorkBuf& operator=(const OkvWorkBuf&) = delete;
    bool ok() const { return ok_; }
    Okv8u* get() const { return p_; }

private:
    Okv8u* own_ = nullptr;
    Okv8u* p_ = nullptr;
    bool ok_ = true;
};

}  // namespace OKV_NS
