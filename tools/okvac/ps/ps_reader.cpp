#include "ps_reader.h"

#include <cstring>

#include "ps_tables_data.h"

namespace {

using ps_tables::PsCode;

constexpr int kParBands[3] = {10, 20, 34};
constexpr int kPhaseBands[3] = {5, 11, 17};
constexpr int kNumEnv[2][4] = {{0, 1, 2, 4}, {1, 2, 3, 4}};
constexpr int kSlots = 32;

long long bitsRead(const BitCursor& from, const BitCursor& to) {
    return (to.p - from.p) * 8LL + to.off - from.off;
}

// Table index of the next codeword, or -1 when none matches within the longest length.
template <int N>
int decodeCode(BitCursor* bc, const PsCode (&t)[N]) {
    uint32_t code = 0;
    for (int len = 1; len <= 20; ++len) {
        code = code << 1 | bc->read(1);
        for (int i = 0; i < N; ++i)
            if (t[i].len == len && t[i].code == code) return i;
    }
    return -1;
}

// One envelope of delta-coded indices: frequency-differential from 0 upwards, or
// time-differential against `prev`, band by band (also when the band count changed since). `wrap` keeps phase indices modulo 8; otherwise the result
// must lie in [lo, hi].
template <int NF, int NT>
bool readDeltas(BitCursor* bc, const PsCode (&f)[NF], const PsCode (&t)[NT], int offset, int bands,
                const int8_t* prev, int8_t* out, bool wrap, int lo, int hi) {
    const bool dt = bc->read(1);
    for (int b = 0; b < bands; ++b) {
        const int idx = dt ? decodeCode(bc, t) : decodeCode(bc, f);
        if (idx < 0) return false;
        int v = idx - offset + (dt ? prev[b] : b ? out[b - 1] : 0);
        if (wrap)
            v &= 7;
        else if (v < lo || v > hi)
            return false;
        out[b] = int8_t(v);
    }
    return true;
}

}  // namespace

bool PsReader::read(BitCursor* bc, long long bits, PsFrame* f) {
    using namespace ps_tables;
    const BitCursor start = *bc;
    bool enableIid = enableIid_, enableIcc = enableIcc_, enableExt = enableExt_, is34 = is34_;
    int iidMode = iidMode_, iccMode = iccMode_;
    if (bc->read(1)) {
        if ((enableIid = bc->read(1))) iidMode = int(bc->read(3));
        if ((enableIcc = bc->read(1))) iccMode = int(bc->read(3));
        enableExt = bc->read(1);
        if (iidMode > 5 || iccMode > 5) return false;
        // The 34-band configuration runs whenever IID or ICC use 34 bands; a header without IID
        // and ICC keeps the configuration it cannot signal.
        if (enableIid || enableIcc)
            is34 = (enableIid && kParBands[iidMode % 3] == 34) || (enableIcc && kParBands[iccMode % 3] == 34);
    }
    *f = PsFrame{};
    f->iidBands = kParBands[iidMode % 3];
    f->iccBands = kParBands[iccMode % 3];
    f->fineIid = iidMode >= 3;
    f->mixRb = iccMode >= 3;
    f->is34 = is34;
    const int phaseBands = kPhaseBands[iidMode % 3];

    const int frameClass = int(bc->read(1));
    int n = kNumEnv[frameClass][bc->read(2)];
    for (int e = 0; e < n && frameClass; ++e) {
        f->border[e] = int(bc->read(5));
        if (e > 0 && f->border[e] <= f->border[e - 1]) return false;
    }
    for (int e = 0; e < n && !frameClass; ++e) f->border[e] = kSlots * (e + 1) / n - 1;

    const int iidMax = f->fineIid ? 15 : 7;
    for (int e = 0; e < n && enableIid; ++e) {
        const int8_t* prev = e ? f->iid[e - 1] : prevIid_;
        const bool ok = f->fineIid ? readDeltas(bc, k_f_huff_iid_fine, k_t_huff_iid_fine, 30, f->iidBands, prev,
                                                f->iid[e], false, -iidMax, iidMax)
                                   : readDeltas(bc, k_f_huff_iid_def, k_t_huff_iid_def, 14, f->iidBands, prev,
                                                f->iid[e], false, -iidMax, iidMax);
        if (!ok) return false;
    }
    for (int e = 0; e < n && enableIcc; ++e)
        if (!readDeltas(bc, k_f_huff_icc, k_t_huff_icc, 7, f->iccBands, e ? f->icc[e - 1] : prevIcc_, f->icc[e],
                        false, 0, 7))
            return false;
    if (enableExt) {
        int cnt = int(bc->read(4));
        if (cnt == 15) cnt += int(bc->read(8));
        long long left = 8LL * cnt;
        while (left > 7) {
            const BitCursor extStart = *bc;
            const uint32_t id = bc->read(2);
            if (id == 0 && (f->ipdOpd = bc->read(1))) {
                for (int e = 0; e < n; ++e)
                    if (!readDeltas(bc, k_f_huff_ipd, k_t_huff_ipd, 0, phaseBands, e ? f->ipd[e - 1] : prevIpd_,
                                    f->ipd[e], true, 0, 7) ||
                        !readDeltas(bc, k_f_huff_opd, k_t_huff_opd, 0, phaseBands, e ? f->opd[e - 1] : prevOpd_,
                                    f->opd[e], true, 0, 7))
                        return false;
            }
            if (id == 0) {
                bc->read(1);  // reserved
                left -= bitsRead(extStart, *bc);
            } else {  // unknown extension: the rest of the extension bits are its own
                bc->skip(size_t(left - 2));
                left = 0;
            }
        }
        if (left < 0) return false;
        bc->skip(size_t(left));
    }
    if (bitsRead(start, *bc) > bits) return false;

    // A grid ending early gets one more envelope, a copy of the last, up to the frame end.
    if (n > 0 && f->border[n - 1] < kSlots - 1) {
        f->border[n] = kSlots - 1;
        std::memcpy(f->iid[n], f->iid[n - 1], sizeof f->iid[n]);
        std::memcpy(f->icc[n], f->icc[n - 1], sizeof f->icc[n]);
        std::memcpy(f->ipd[n], f->ipd[n - 1], sizeof f->ipd[n]);
        std::memcpy(f->opd[n], f->opd[n - 1], sizeof f->opd[n]);
        ++n;
    }
    f->numEnv = n;

    enableIid_ = enableIid, enableIcc_ = enableIcc, enableExt_ = enableExt, is34_ = is34;
    iidMode_ = iidMode, iccMode_ = iccMode;
    if (n > 0) {
        std::memcpy(prevIid_, f->iid[n - 1], sizeof prevIid_);
        std::memcpy(prevIcc_, f->icc[n - 1], sizeof prevIcc_);
        std::memcpy(prevIpd_, f->ipd[n - 1], sizeof prevIpd_);
        std::memcpy(prevOpd_, f->opd[n - 1], sizeof prevOpd_);
    }
    return true;
}
