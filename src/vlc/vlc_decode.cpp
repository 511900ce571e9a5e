// Decoding single codes and blocks with a compiled table, plain and UTuple forms.
// A code absent from the table stops decoding with okvErrVLCParam: the values
// decoded before it are stored and the position is left unchanged.
#include "vlc/vlc_internal.h"

namespace OKV_NS {
namespace {

StatusCode plain_decode(const Okv8u** pp, int* pOffset, Okv16s* dst, int n, const void* spec) {
    const VlcDecHeader* h = okv_vlc_dec_header(spec);
    VlcReader rd(*pp, *pOffset);
    const uint32_t bl = h->bl, sgn = h->sgn, L = h->L;
    StatusCode st = okv_vlc_by_width(h, [&](auto t) {
        typedef std::remove_cv_t<std::remove_pointer_t<decltype(t)>> T;
        const uint32_t w0 = uint32_t(t[0]);
        for (int i = 0; i < n; ++i) {
            int32_t leaf;
            uint32_t len;
            rd.ensure(L);
            if (!okv_vlc_walk(t, w0, rd.buf, bl, &leaf, &len)) return okvErrVLCParam;
            dst[i] = Okv16s(okv_vlc_value<T>(leaf, bl, sgn));
            rd.skip(len);
        }
        return okvOk;
    });
    if (st == okvOk) rd.store(pp, pOffset);
    return st;
}

StatusCode tuple_decode(const Okv8u** pp, int* pOffset, Okv16s* dst, int tuples, const void* spec) {
    const VlcDecHeader* h = okv_vlc_dec_header(spec);
    VlcReader rd(*pp, *pOffset);
    const uint32_t bl = h->bl, N = h->n, B = h->b, mask = okv_mask32(h->b), L = h->L;
    StatusCode st = okv_vlc_by_width(h, [&](auto t) {
        typedef std::remove_cv_t<std::remove_pointer_t<decltype(t)>> T;
        const uint32_t w0 = uint32_t(t[0]);
        for (int i = 0; i < tuples; ++i, dst += N) {
            int32_t leaf;
            uint32_t len;
            rd.ensure(L);
            if (!okv_vlc_walk(t, w0, rd.buf, bl, &leaf, &len)) return okvErrVLCParam;
            rd.skip(len);
            const uint32_t P = okv_vlc_tuple_field<T>(leaf, bl);
            uint32_t nz = 0;
            for (uint32_t k = 0; k < N; ++k) nz += ((P >> ((N - 1 - k) * B)) & mask) != 0;
            uint64_t signs = 0;
            if (nz) {
                rd.ensure(nz);
                signs = rd.buf;
                rd.skip(nz);
            }
            for (uint32_t k = 0; k < N; ++k) {
                int32_t a = int32_t((P >> ((N - 1 - k) * B)) & mask);
                if (a) {
                    if (signs >> 63) a = -a;
                    signs <<= 1;
                }
                dst[k] = Okv16s(a);
            }
        }
        return okvOk;
    });
    if (st == okvOk) rd.store(pp, pOffset);
    return st;
}

}  // namespace

StatusCode okvsVLCDecodeOne_1u16s(const Okv8u** ppBitStream, int* pOffset, Okv16s* pDst,
                                  const OkvsVLCDecodeSpec_32s* pVLCSpec) {
    StatusCode st = okv_vlc_dec_check(ppBitStream, pOffset, pDst, pVLCSpec, okvErrVLCParam, okvErrVLCParam);
    return st != okvOk ? st : plain_decode(ppBitStream, pOffset, pDst, 1, pVLCSpec);
}

StatusCode okvsVLCDecodeBlock_1u16s(const Okv8u** ppBitStream, int* pOffset, Okv16s* pDst, int dstLen,
                                    const OkvsVLCDecodeSpec_32s* pVLCSpec) {
    StatusCode st = okv_vlc_dec_check(ppBitStream, pOffset, pDst, pVLCSpec, okvErrVLCParam, okvErrVLCParam);
    if (st != okvOk || dstLen <= 0) return st;
    return plain_decode(ppBitStream, pOffset, pDst, dstLen, pVLCSpec);
}

StatusCode okvsVLCDecodeUTupleOne_1u16s(const Okv8u** ppBitStream, int* pOffset, Okv16s* pDst,
                                        const OkvsVLCDecodeUTupleSpec_32s* pVLCSpec) {
    StatusCode st = okv_vlc_dec_check(ppBitStream, pOffset, pDst, pVLCSpec, okvErrVLCParam, okvErrVLCParam);
    if (st != okvOk) return st;
    if (okv_vlc_dec_header(pVLCSpec)->n == 0) return okvErrVLCParam;  // a plain spec
    return tuple_decode(ppBitStream, pOffset, pDst, 1, pVLCSpec);
}

StatusCode okvsVLCDecodeUTupleBlock_1u16s(const Okv8u** ppBitStream, int* pOffset, Okv16s* pDst, int dstLen,
                                          const OkvsVLCDecodeUTupleSpec_32s* pVLCSpec) {
    StatusCode st = okv_vlc_dec_check(ppBitStream, pOffset, pDst, pVLCSpec, okvErrVLCParam, okvErrVLCParam);
    if (st != okvOk) return st;
    const uint32_t N = okv_vlc_dec_header(pVLCSpec)->n;
    if (N == 0) return okvErrVLCParam;  // a plain spec
    if (dstLen < int(N)) return okvOk;
    return tuple_decode(ppBitStream, pOffset, pDst, dstLen / int(N), pVLCSpec);
}

}  // namespace OKV_NS
