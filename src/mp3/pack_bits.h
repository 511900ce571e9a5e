// MSB-first bit writer of the Layer III packers.
//
// Bits gather in a 64-bit accumulator and leave it 32 at a time. A byte entered at a non-zero
// bit offset keeps its earlier bits (the new bits are ORed in); a byte entered at offset 0 is
// overwritten, its bits past the last one written becoming 0.
#pragma once
#include "core/okv_internal.h"

namespace OKV_NS {

class Mp3BitSink {
public:
    // Starts at byte p, bit offset off (0..7).
    Mp3BitSink(Okv8u* p, int off) : p_(p), nb_(off), acc_(off ? (Okv64u)p[0] << 56 : 0) {}

    // The low n bits of v, n = 0..32.
    void put(Okv32u v, int n) {
        if (n == 0) return;
        acc_ |= ((Okv64u)v << (64 - n)) >> nb_;
        nb_ += n;
        written_ += n;
        if (nb_ >= 32) {
            const Okv32u w = (Okv32u)(acc_ >> 32);
            p_[0] = (Okv8u)(w >> 24), p_[1] = (Okv8u)(w >> 16), p_[2] = (Okv8u)(w >> 8), p_[3] = (Okv8u)w;
            p_ += 4;
            acc_ <<= 32;
            nb_ -= 32;
        }
    }

    // n '1' bits (nothing when n <= 0).
    void stuff(int n) {
        for (; n > 0; n -= 32) put(~0u, n < 32 ? n : 32);
    }

    // Writes the pending bytes (the last one partly) and returns the position after the last bit.
    void finish(Okv8u** pp, int* off) {
        for (int i = 0; i < (nb_ + 7) >> 3; ++i) p_[i] = (Okv8u)(acc_ >> (56 - 8 * i));
        *pp = p_ + (nb_ >> 3);
        if (off) *off = nb_ & 7;
    }

    int written() const { return written_; }

private:
    Okv8u* p_;
    int nb_;  // bits pending in acc_, from its top
    Okv64u acc_;
    int written_ = 0;
};

}  // namespace OKV_NS
