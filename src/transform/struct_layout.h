// Memory of the transform specs: InitAlloc, Free and GetBufSize shared by
// every spec kind, and the per-call work buffer.
#pragma once

#include "core/kernels.h"
#include "transform/fft.h"

namespace OKV_NS {

// InitAlloc: allocates the spec and a temporary init buffer of the sizes
// sizes(&spec, &init, &work) reports, runs init(mem, initBuf) and marks the
// spec (laid out as Header) self-owned; on failure releases everything.
template <class Header, class S, class Sizes, class Init>
StatusCode ownsAllocInit(S** ppSpec, Sizes sizes, Init init) {
    if (!ppSpec) return okvErrNullPtr;
    int ss, is, ws;
    StatusCode st = sizes(&ss, &is, &ws);
    if (st != okvOk) return st;
    Okv8u* mem = okvsMalloc_8u(ss);
    Okv8u* ib = okvsMalloc_8u(is);
    if (!mem || (is > 0 && !ib)) {
        okvsFree(mem);
        okvsFree(ib);
        return okvErrMemAlloc;
    }
    st = init(mem, ib);
    okvsFree(ib);
    if (st != okvOk) {
        okvsFree(mem);
        return st;
    }
    Header* h = reinterpret_cast<Header*>(*ppSpec);
    h->allocated = 1;
    h->mem = mem;
    return okvOk;
}

// Spec headers with id, allocated and mem fields.
template <class S>
StatusCode ownsFreeSpec(S* s, Okv32s id) {
    if (!s) return okvErrNullPtr;
    if (s->id != id) return okvErrContextMatch;
    s->id = 0;
    if (s->allocated) okvsFree(s->mem);
    return okvOk;
}

template <class S>
StatusCode ownsSpecBufSize(const S* s, int* pSize, Okv32s id) {
    if (!s || !pSize) return okvErrNullPtr;
    if (s->id != id) return okvErrContextMatch;
    *pSize = s->workSize;
    return okvOk;
}

// Per-call work buffer: the caller's (from its first 64-byte boundary) or,
// when the caller passes none, one allocated for the call.
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
