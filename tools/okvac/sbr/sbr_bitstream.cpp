#include "sbr/sbr_bitstream.h"

#include <algorithm>

#include "sbr/sbr_tables_data.h"

SbrHuffman::SbrHuffman() {
    const Okv32s sub[3] = {8, 6, 6};
    for (int t = 0; t < 10; ++t)
        if (okvsVLCDecodeInitAlloc_32s(sbrtab::kHuff[t].codes, sbrtab::kHuff[t].size, sub, 3, &spec_[t]) != okvOk)
            spec_[t] = nullptr;
}

SbrHuffman::~SbrHuffman() {
    for (OkvsVLCDecodeSpec_32s* s : spec_)
        if (s) okvsVLCDecodeFree_32s(s);
}

bool SbrHuffman::ok() const {
    for (const OkvsVLCDecodeSpec_32s* s : spec_)
        if (!s) return false;
    return true;
}

bool SbrHuffman::decode(BitCursor* bc, int t, int* value) const {
    const Okv8u* p = bc->p;
    Okv16s v;
    if (okvsVLCDecodeOne_1u16s(&p, &bc->off, &v, spec_[t]) != okvOk) return false;
    bc->p = p;
    *value = v - sbrtab::kHuff[t].lav;
    return bc->left() >= 0;
}

void readHeader(BitCursor* bc, SbrHeader* h) {
    h->ampRes = int(bc->read(1));
    h->startFreq = int(bc->read(4));
    h->stopFreq = int(bc->read(4));
    h->xoverBand = int(bc->read(3));
    bc->read(2);
    const bool extra1 = bc->read(1), extra2 = bc->read(1);
    h->freqScale = 2, h->alterScale = 1, h->noiseBands = 2;
    if (extra1) {
        h->freqScale = int(bc->read(2));
        h->alterScale = int(bc->read(1));
        h->noiseBands = int(bc->read(2));
    }
    h->limiterBands = 2, h->limiterGains = 2, h->interpolFreq = 1, h->smoothingMode = 1;
    if (extra2) {
        h->limiterBands = int(bc->read(2));
        h->limiterGains = int(bc->read(2));
        h->interpolFreq = int(bc->read(1));
        h->smoothingMode = int(bc->read(1));
    }
}

bool SbrGrid::derive(int absLead, int absTrail, const int* relLead, int nRelLead, const int* relTrail, int nRelTrail) {
    tE[0] = absLead;
    tE[numEnv] = absTrail;
    for (int l = 1; l <= nRelLead; ++l) tE[l] = tE[l - 1] + relLead[l - 1];
    for (int i = 0; i < nRelTrail; ++i) tE[numEnv - 1 - i] = tE[numEnv - i] - relTrail[i];
    for (int l = 0; l < numEnv; ++l)
        if (tE[l] >= tE[l + 1]) return false;
    int middle;
    switch (frameClass) {
    case kFixFix: middle = numEnv / 2, lA = -1; break;
    case kVarFix:
        middle = pointer == 0 ? 1 : pointer == 1 ? numEnv - 1 : pointer - 1;
        lA = pointer == 0 ? -1 : pointer - 1;
        break;
    default:
        middle = pointer > 1 ? numEnv + 1 - pointer : numEnv - 1;
        lA = pointer == 0 ? -1 : numEnv + 1 - pointer;
        break;
    }
    if (lA > numEnv || lA < -1) return false;
    numNoise = numEnv > 1 ? 2 : 1;
    tQ[0] = tE[0];
    tQ[numNoise] = tE[numEnv];
    if (numNoise == 2) {
        if (middle <= 0 || middle >= numEnv) return false;
        tQ[1] = tE[middle];
    }
    return true;
}

bool readGrid(BitCursor* bc, SbrGrid* g) {
    g->frameClass = int(bc->read(2));
    int rel0[4] = {}, rel1[4] = {}, n0 = 0, n1 = 0, abs0 = 0, abs1 = 16;
    auto pointerBits = [](int numEnv) { return numEnv >= 4 ? 3 : numEnv >= 2 ? 2 : 1; };  // ceil(log2(numEnv + 1))
    switch (g->frameClass) {
    case SbrGrid::kFixFix: {
        g->numEnv = 1 << bc->read(2);
        if (g->numEnv > 4) return false;
        const int res = int(bc->read(1));
        for (int l = 0; l < g->numEnv; ++l) g->freqRes[l] = res;
        g->pointer = 0;
        n0 = g->numEnv - 1;
        for (int i = 0; i < n0; ++i) rel0[i] = 16 / g->numEnv;
        break;
    }
    case SbrGrid::kFixVar:
        abs1 = int(bc->read(2)) + 16;
        n1 = int(bc->read(2));
        for (int i = 0; i < n1; ++i) rel1[i] = 2 * int(bc->read(2)) + 2;
        g->numEnv = n1 + 1;
        g->pointer = int(bc->read(pointerBits(g->numEnv)));
        for (int l = g->numEnv - 1; l >= 0; --l) g->freqRes[l] = int(bc->read(1));
        break;
    case SbrGrid::kVarFix:
        abs0 = int(bc->read(2));
        n0 = int(bc->read(2));
        for (int i = 0; i < n0; ++i) rel0[i] = 2 * int(bc->read(2)) + 2;
        g->numEnv = n0 + 1;
        g->pointer = int(bc->read(pointerBits(g->numEnv)));
        for (int l = 0; l < g->numEnv; ++l) g->freqRes[l] = int(bc->read(1));
        break;
    default:
        abs0 = int(bc->read(2));
        abs1 = int(bc->read(2)) + 16;
        n0 = int(bc->read(2));
        n1 = int(bc->read(2));
        for (int i = 0; i < n0; ++i) rel0[i] = 2 * int(bc->read(2)) + 2;
        for (int i = 0; i < n1; ++i) rel1[i] = 2 * int(bc->read(2)) + 2;
        g->numEnv = n0 + n1 + 1;
        if (g->numEnv > 5) return false;
        g->pointer = int(bc->read(pointerBits(g->numEnv)));
        for (int l = 0; l < g->numEnv; ++l) g->freqRes[l] = int(bc->read(1));
        break;
    }
    if (g->pointer > g->numEnv + 1) return false;
    return g->derive(abs0, abs1, rel0, n0, rel1, n1);
}

void readDtdf(BitCursor* bc, SbrChannelFrame* f) {
    for (int l = 0; l < f->grid.numEnv; ++l) f->dfEnv[l] = int(bc->read(1));
    for (int l = 0; l < f->grid.numNoise; ++l) f->dfNoise[l] = int(bc->read(1));
}

void readInvf(BitCursor* bc, int nQ, SbrChannelFrame* f) {
    for (int i = 0; i < nQ; ++i) f->invf[i] = int(bc->read(2));
}

bool readEnvelope(BitCursor* bc, const SbrHuffman& hf, const SbrFreqTables& t, bool balance, SbrDeltaState* prev,
                  SbrChannelFrame* f) {
    const SbrGrid& g = f->grid;
    f->ampRes = g.frameClass == SbrGrid::kFixFix && g.numEnv == 1 ? 0 : f->ampRes;
    const int tab = (f->ampRes ? 4 : 0) + (balance ? 2 : 0);
    const int startBits = (f->ampRes ? 6 : 7) - (balance ? 1 : 0);
    const int delta = balance ? 2 : 1;
    for (int l = 0; l < g.numEnv; ++l) {
        const int res = g.freqRes[l];
        const int n = res ? t.nHigh : t.nLow;
        int* e = f->env[l];
        int d;
        if (!f->dfEnv[l]) {
            e[0] = delta * int(bc->read(startBits));
            for (int k = 1; k < n; ++k) {
                if (!hf.decode(bc, tab + 1, &d)) return false;
                e[k] = e[k - 1] + delta * d;
            }
        } else {
            const int* pe = prev->env;
            for (int k = 0; k < n; ++k) {
                if (!hf.decode(bc, tab, &d)) return false;
                int i = k;  // the previous envelope's band holding this band's start
                if (res && !prev->freqRes) {
                    i = 0;
                    while (i + 1 < t.nLow && t.low[i + 1] <= t.high[k]) ++i;
                } else if (!res && prev->freqRes) {
                    i = 0;
                    while (i + 1 < t.nHigh && t.high[i] != t.low[k]) ++i;
                }
                e[k] = pe[i] + delta * d;
            }
        }
        std::copy(e, e + n, prev->env);
        prev->freqRes = res;
    }
    return bc->left() >= 0;
}

bool readNoise(BitCursor* bc, const SbrHuffman& hf, const SbrFreqTables& t, bool balance, SbrDeltaState* prev,
               SbrChannelFrame* f) {
    const int delta = balance ? 2 : 1;
    for (int l = 0; l < f->grid.numNoise; ++l) {
        int* q = f->noise[l];
        int d;
        if (!f->dfNoise[l]) {
            q[0] = delta * int(bc->read(5));
            for (int k = 1; k < t.nQ; ++k) {
                if (!hf.decode(bc, balance ? 7 : 5, &d)) return false;
                q[k] = q[k - 1] + delta * d;
            }
        } else {
            for (int k = 0; k < t.nQ; ++k) {
                if (!hf.decode(bc, balance ? 9 : 8, &d)) return false;
                q[k] = prev->noise[k] + delta * d;
            }
        }
        std::copy(q, q + t.nQ, prev->noise);
    }
    return bc->left() >= 0;
}

void readSinusoids(BitCursor* bc, const SbrFreqTables& t, SbrChannelFrame* f) {
    f->addHarmonicFlag = bc->read(1);
    for (int k = 0; k < t.nHigh; ++k) f->addHarmonic[k] = f->addHarmonicFlag ? uint8_t(bc->read(1)) : 0;
}
