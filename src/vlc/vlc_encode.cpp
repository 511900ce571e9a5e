// Direct-lookup encoding tables, code writing and bit counting.
// Entry lengths must lie in 1..32.  Length words of values missing from the
// entry table are cleared to 0, and encoding or counting such a value (or one
// outside [vmin, vmax]) fails with okvErrVLCParam before anything is written.
#include "vlc/vlc_internal.h"

namespace OKV_NS {
namespace {

struct EncLayout {
    int32_t vmin;
    uint32_t range;
    uint32_t b;
    int32_t size;
};

StatusCode enc_layout(const VLCCodeEntry* ent, int n, EncLayout* lay) {
    if (n < 1) return okvErrVLCParam;
    int32_t vmin = ent[0].value, vmax = ent[0].value;
    for (int i = 0; i < n; ++i) {
        if (ent[i].length < 1 || ent[i].length > 32) return okvErrVLCParam;
        if (ent[i].value < vmin) vmin = ent[i].value;
        if (ent[i].value > vmax) vmax = ent[i].value;
    }
    const uint64_t range = uint64_t(int64_t(vmax) - vmin);
    const uint32_t b = 64 - uint32_t(__builtin_clzll(range + 1));
    const uint64_t size = (range + (uint64_t(1) << b)) * 4 + 132;
    if (size > 0x7FFFFFFF) return okvErrVLCParam;
    *lay = EncLayout{vmin, uint32_t(range), b, int32_t(size)};
    return okvOk;
}

void enc_build(const EncLayout& lay, const VLCCodeEntry* ent, int n, void* mem, uint32_t flag) {
    VlcEncHeader* h = reinterpret_cast<VlcEncHeader*>(okv_align64(mem));
    uint32_t* t = reinterpret_cast<uint32_t*>(reinterpret_cast<Okv8u*>(h) + 64);
    for (uint32_t i = 0; i <= lay.range; ++i) t[i] = 0;
    for (int i = n - 1; i >= 0; --i) {  // the lowest index wins among equal values
        const uint32_t k = uint32_t(int64_t(ent[i].value) - lay.vmin);
        t[k] = uint32_t(ent[i].length);
        t[(1u << lay.b) + k] = ent[i].code & okv_mask32(uint32_t(ent[i].length));
    }
    h->table = t;
    h->offset = int32_t(0u - uint32_t(lay.vmin));
    h->b = lay.b;
    h->flag = flag;
    h->id = kVlcEncodeId;
    h->vmin = lay.vmin;
    h->range = lay.range;
}

// Sum of the code lengths of src[0..n); false if a value is not coded.
bool count_bits(const VlcEncHeader* h, const Okv16s* src, int n, uint64_t* bits) {
    uint64_t sum = 0;
    for (int i = 0; i < n; ++i) {
        uint32_t code, len;
        if (!okv_vlc_enc_lookup(h, src[i], &code, &len)) return false;
        sum += len;
    }
    *bits = sum;
    return true;
}

}  // namespace

StatusCode okvsVLCEncodeGetSize_32s(const VLCCodeEntry* pInputTable, int inputTableSize, int* pSize) {
    if (!pInputTable || !pSize) return okvErrNullPtr;
    EncLayout lay;
    StatusCode st = enc_layout(pInputTable, inputTableSize, &lay);
    if (st == okvOk) *pSize = lay.size;
    return st;
}

StatusCode okvsVLCEncodeInit_32s(const VLCCodeEntry* pInputTable, int inputTableSize, OkvsVLCEncodeSpec_32s* pVLCSpec) {
    if (!pInputTable || !pVLCSpec) return okvErrNullPtr;
    EncLayout lay;
    StatusCode st = enc_layout(pInputTable, inputTableSize, &lay);
    if (st == okvOk) enc_build(lay, pInputTable, inputTableSize, pVLCSpec, 0);
    return st;
}

StatusCode okvsVLCEncodeInitAlloc_32s(const VLCCodeEntry* pInputTable, int inputTableSize,
                                      OkvsVLCEncodeSpec_32s** ppVLCSpec) {
    if (!pInputTable || !ppVLCSpec) return okvErrNullPtr;
    EncLayout lay;
    StatusCode st = enc_layout(pInputTable, inputTableSize, &lay);
    if (st != okvOk) return st;
    void* mem = okvMalloc(lay.size);
    if (!mem) return okvErrMemAlloc;
    enc_build(lay, pInputTable, inputTableSize, mem, 1);
    *ppVLCSpec = static_cast<OkvsVLCEncodeSpec_32s*>(mem);
    return okvOk;
}

void okvsVLCEncodeFree_32s(OkvsVLCEncodeSpec_32s* pVLCSpec) { okv_vlc_free<VlcEncHeader>(pVLCSpec, kVlcEncodeId); }

StatusCode okvsVLCEncodeOne_16s1u(Okv16s src, Okv8u** ppBitStream, int* pBitOffset, const OkvsVLCEncodeSpec_32s* pVLCSpec) {
    if (!pVLCSpec || !ppBitStream || !*ppBitStream || !pBitOffset) return okvErrNullPtr;
    if (unsigned(*pBitOffset) > 7) return okvErrVLCParam;
    const VlcEncHeader* h = okv_vlc_enc_header(pVLCSpec);
    if (h->id != kVlcEncodeId) return okvErrVLCParam;
    uint32_t code, len;
    if (!okv_vlc_enc_lookup(h, src, &code, &len)) return okvErrVLCParam;
    VlcWriter wr(*ppBitStream, uint32_t(*pBitOffset));
    wr.put(code, len);
    wr.finish(ppBitStream, pBitOffset);
    return okvOk;
}

StatusCode okvsVLCEncodeBlock_16s1u(const Okv16s* pSrc, int srcLen, Okv8u** ppBitStream, int* pBitOffset,
                                    const OkvsVLCEncodeSpec_32s* pVLCSpec) {
    if (!pSrc || !pVLCSpec || !ppBitStream || !*ppBitStream || !pBitOffset) return okvErrNullPtr;
    if (srcLen < 1 || unsigned(*pBitOffset) > 7) return okvErrVLCParam;
    const VlcEncHeader* h = okv_vlc_enc_header(pVLCSpec);
    if (h->id != kVlcEncodeId) return okvErrVLCParam;
    uint64_t bits;
    if (!count_bits(h, pSrc, srcLen, &bits)) return okvErrVLCParam;
    const uint32_t* lens = h->table;
    const uint32_t* codes = h->table + (uint64_t(1) << h->b);
    const int64_t vmin = h->vmin;
    VlcWriter wr(*ppBitStream, uint32_t(*pBitOffset));
    for (int i = 0; i < srcLen; ++i) {
        const int64_t k = pSrc[i] - vmin;
        wr.put(codes[k], lens[k]);
    }
    wr.finish(ppBitStream, pBitOffset);
    return okvOk;
}

StatusCode okvsVLCCountBits_16s32s(const Okv16s* pSrc, int srcLen, Okv32s* pCountBits, const OkvsVLCEncodeSpec_32s* pVLCSpec) {
    if (!pSrc || !pCountBits || !pVLCSpec) return okvErrNullPtr;
    if (srcLen < 1 || okv_vlc_enc_header(pVLCSpec)->id != kVlcEncodeId) return okvErrVLCParam;
    uint64_t bits;
    if (!count_bits(okv_vlc_enc_header(pVLCSpec), pSrc, srcLen, &bits)) return okvErrVLCParam;
    *pCountBits = bits > 0x7FFFFFFF ? 0x7FFFFFFF : Okv32s(bits);  // saturates past 2^31 - 1 bits
    return okvOk;
}

}  // namespace OKV_NS
