// Pair encoders and bit counters with the AAC escape sequence and the MP3
// linbits field.  Each call first counts the bits of the whole block, which
// also checks that every clamped pair is coded by the table, AAC magnitudes
// stay at or below 8191, MP3 magnitudes fit 15 + linbits bits (linbits in
// 0..14), and escape codes carry their sign bits; otherwise it fails with
// okvErrVLCParam before writing anything.
#include "vlc/vlc_internal.h"

namespace OKV_NS {
namespace {

constexpr int kMaxLinbits = 14;
constexpr int32_t kAacMaxMagnitude = 8191;

inline int32_t clamp(int32_t v, int32_t lim) { return v > lim ? lim : v < -lim ? -lim : v; }
inline uint32_t mag(int32_t v) { return uint32_t(v < 0 ? -v : v); }

// AAC escape of magnitude m (16..8191): N - 4 ones, a zero, the N low bits.
inline void aac_escape(uint32_t m, uint32_t* code, uint32_t* len) {
    const uint32_t N = 31 - uint32_t(__builtin_clz(m));
    *code = (((1u << (N - 4)) - 1) << (N + 1)) | (m - (1u << N));
    *len = 2 * N - 3;
}

// Without Write: counts the bits and checks the block.  With Write: writes it.
template <bool Write>
bool aac_pairs(const VlcEncHeader* h, const Okv16s* src, int pairs, VlcWriter* wr, uint64_t* bits) {
    uint64_t sum = 0;
    for (int i = 0; i < pairs; ++i) {
        const int32_t a = src[2 * i], b = src[2 * i + 1], ab[2] = {a, b};
        uint32_t code, len, ec, el;
        if (!okv_vlc_enc_lookup(h, 64 * clamp(a, 16) + clamp(b, 16) + 16, &code, &len)) return false;
        if (!Write && (mag(a) > kAacMaxMagnitude || mag(b) > kAacMaxMagnitude)) return false;
        if (Write) wr->put(code, len);
        sum += len;
        for (int32_t v : ab) {
            if (mag(v) < 16) continue;
            aac_escape(mag(v), &ec, &el);
            if (Write) wr->put(ec, el);
            sum += el;
        }
    }
    *bits = sum;
    return true;
}

template <bool Write>
bool mp3_pairs(const VlcEncHeader* h, const Okv16s* src, int pairs, uint32_t linbits, VlcWriter* wr, uint64_t* bits) {
    uint64_t sum = 0;
    for (int i = 0; i < pairs; ++i) {
        const int32_t x = src[2 * i], y = src[2 * i + 1], xy[2] = {x, y};
        const int32_t cx = clamp(x, 15), cy = clamp(y, 15);
        uint32_t code, len;
        if (!okv_vlc_enc_lookup(h, 32 * cx + cy + 15, &code, &len)) return false;
        sum += len;
        const bool escx = mag(x) >= 15, escy = mag(y) >= 15;
        sum += (escx + escy) * linbits;
        if (!escx && !escy) {
            if (Write) wr->put(code, len);
            continue;
        }
        const uint32_t signs = (x != 0) + (y != 0);
        if (!Write && (len < signs || ((mag(x) - 15) >> linbits && escx) || ((mag(y) - 15) >> linbits && escy)))
            return false;
        if (!Write) continue;
        wr->put(code >> signs, len - signs);  // the codeword without its sign bits
        for (int32_t v : xy) {
            if (mag(v) >= 15) wr->put(((mag(v) - 15) << 1) | (v < 0), linbits + 1);
            else if (v) wr->put(v < 0, 1);
        }
    }
    *bits = sum;
    return true;
}

StatusCode enc_check(const Okv16s* src, const void* spec, const Okv8u* const* pp, const int* pOffset, int linbits) {
    if (!src || !spec || !pp || !*pp || !pOffset) return okvErrNullPtr;
    if (unsigned(linbits) > unsigned(kMaxLinbits)) return okvErrVLCParam;
    if (unsigned(*pOffset) > 7) return okvErrBitOffset;
    if (okv_vlc_enc_header(spec)->id != kVlcEncodeId) return okvErrContextMatch;
    return okvOk;
}

StatusCode count_check(const Okv16s* src, const Okv32s* pCount, const void* spec, int linbits) {
    if (!src || !pCount || !spec) return okvErrNullPtr;
    if (unsigned(linbits) > unsigned(kMaxLinbits)) return okvErrVLCParam;
    if (okv_vlc_enc_header(spec)->id != kVlcEncodeId) return okvErrContextMatch;
    return okvOk;
}

inline Okv32s saturate(uint64_t bits) { return bits > 0x7FFFFFFF ? 0x7FFFFFFF : Okv32s(bits); }

}  // namespace

StatusCode okvsVLCEncodeEscBlock_AAC_16s1u(const Okv16s* pSrc, int srcLen, Okv8u** ppBitStream, int* pBitOffset,
                                           const OkvsVLCEncodeSpec_32s* pVLCSpec) {
    StatusCode st = enc_check(pSrc, pVLCSpec, ppBitStream, pBitOffset, 0);
    if (st != okvOk || srcLen < 2) return st;
    const VlcEncHeader* h = okv_vlc_enc_header(pVLCSpec);
    uint64_t bits;
    if (!aac_pairs<false>(h, pSrc, srcLen / 2, nullptr, &bits)) return okvErrVLCParam;
    VlcWriter wr(*ppBitStream, uint32_t(*pBitOffset));
    aac_pairs<true>(h, pSrc, srcLen / 2, &wr, &bits);
    wr.finish(ppBitStream, pBitOffset);
    return okvOk;
}

StatusCode okvsVLCEncodeEscBlock_MP3_16s1u(const Okv16s* pSrc, int srcLen, int linbits, Okv8u** ppBitStream,
                                           int* pBitOffset, const OkvsVLCEncodeSpec_32s* pVLCSpec) {
    StatusCode st = enc_check(pSrc, pVLCSpec, ppBitStream, pBitOffset, linbits);
    if (st != okvOk || srcLen < 2) return st;
    const VlcEncHeader* h = okv_vlc_enc_header(pVLCSpec);
    uint64_t bits;
    if (!mp3_pairs<false>(h, pSrc, srcLen / 2, uint32_t(linbits), nullptr, &bits)) return okvErrVLCParam;
    VlcWriter wr(*ppBitStream, uint32_t(*pBitOffset));
    mp3_pairs<true>(h, pSrc, srcLen / 2, uint32_t(linbits), &wr, &bits);
    wr.finish(ppBitStream, pBitOffset);
    return okvOk;
}

StatusCode okvsVLCCountEscBits_AAC_16s32s(const Okv16s* pSrc, int srcLen, Okv32s* pCountBits,
                                          const OkvsVLCEncodeSpec_32s* pVLCSpec) {
    StatusCode st = count_check(pSrc, pCountBits, pVLCSpec, 0);
    if (st != okvOk) return st;
    uint64_t bits = 0;
    if (srcLen >= 2 && !aac_pairs<false>(okv_vlc_enc_header(pVLCSpec), pSrc, srcLen / 2, nullptr, &bits))
        return okvErrVLCParam;
    *pCountBits = saturate(bits);
    return okvOk;
}

StatusCode okvsVLCCountEscBits_MP3_16s32s(const Okv16s* pSrc, int srcLen, int linbits, Okv32s* pCountBits,
                                          const OkvsVLCEncodeSpec_32s* pVLCSpec) {
    StatusCode st = count_check(pSrc, pCountBits, pVLCSpec, linbits);
    if (st != okvOk) return st;
    uint64_t bits = 0;
    if (srcLen >= 2 &&
        !mp3_pairs<false>(okv_vlc_enc_header(pVLCSpec), pSrc, srcLen / 2, uint32_t(linbits), nullptr, &bits))
        return okvErrVLCParam;
    *pCountBits = saturate(bits);
    return okvOk;
}

}  // namespace OKV_NS
