#include "sbr/sbr_decoder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kExtensionPs = 2;

// Bits read since (p, off) = (start, startOff).
long long consumed(const BitCursor& bc, const uint8_t* start, int startOff) {
    return (bc.p - start) * 8LL + bc.off - startOff;
}

}  // namespace

bool SbrElement::read(const uint8_t* payload, int bits, bool pair, bool crc, const SbrHuffman& hf, int sbrRate,
                      std::string* why) {
    haveFrame_ = false;
    psBits_ = 0;
    // The payload starts after the extension type, four bits into its first byte.
    BitCursor bc{payload, 4, payload + (bits + 4 + 7) / 8};
    if (crc) bc.read(10);
    if (bc.read(1)) {
        SbrHeader h;
        readHeader(&bc, &h);
        if (!haveHeader_ || !h.sameBands(hdr_)) {
            tablesOk_ = tab_.build(h, sbrRate);
            ++generation_;
        } else if (h.limiterBands != hdr_.limiterBands && tablesOk_) {
            tab_.buildLimiter(h.limiterBands);
        }
        hdr_ = h;
        haveHeader_ = true;
    }
    if (!haveHeader_) return true;  // data before the first header cannot be read
    if (!tablesOk_) return *why = "the SBR header describes invalid frequency tables", false;
    if (!readData(&bc, pair, hf) || consumed(bc, payload, 4) > bits)
        return *why = "damaged SBR data", false;
    dequantise(pair);
    haveFrame_ = true;
    return true;
}

bool SbrElement::readData(BitCursor* bc, bool pair, const SbrHuffman& hf) {
    SbrChannelFrame& f0 = frame_[0];
    SbrChannelFrame& f1 = frame_[1];
    f0.ampRes = f1.ampRes = hdr_.ampRes;
    if (bc->read(1)) bc->read(pair ? 8 : 4);  // reserved
    coupled_ = pair && bc->read(1);
    const int nQ = tab_.nQ;
    if (!pair) {
        if (!readGrid(bc, &f0.grid)) return false;
        readDtdf(bc, &f0);
        readInvf(bc, nQ, &f0);
        if (!readEnvelope(bc, hf, tab_, false, &delta_[0], &f0) || !readNoise(bc, hf, tab_, false, &delta_[0], &f0))
            return false;
        readSinusoids(bc, tab_, &f0);
    } else if (coupled_) {
        if (!readGrid(bc, &f0.grid)) return false;
        f1.grid = f0.grid;
        readDtdf(bc, &f0);
        readDtdf(bc, &f1);
        readInvf(bc, nQ, &f0);
        std::copy(f0.invf, f0.invf + 5, f1.invf);
        if (!readEnvelope(bc, hf, tab_, false, &delta_[0], &f0) || !readNoise(bc, hf, tab_, false, &delta_[0], &f0) ||
            !readEnvelope(bc, hf, tab_, true, &delta_[1], &f1) || !readNoise(bc, hf, tab_, true, &delta_[1], &f1))
            return false;
        readSinusoids(bc, tab_, &f0);
        readSinusoids(bc, tab_, &f1);
    } else {
        if (!readGrid(bc, &f0.grid) || !readGrid(bc, &f1.grid)) return false;
        readDtdf(bc, &f0);
        readDtdf(bc, &f1);
        readInvf(bc, nQ, &f0);
        readInvf(bc, nQ, &f1);
        if (!readEnvelope(bc, hf, tab_, false, &delta_[0], &f0) || !readEnvelope(bc, hf, tab_, false, &delta_[1], &f1) ||
            !readNoise(bc, hf, tab_, false, &delta_[0], &f0) || !readNoise(bc, hf, tab_, false, &delta_[1], &f1))
            return false;
        readSinusoids(bc, tab_, &f0);
        readSinusoids(bc, tab_, &f1);
    }
    if (bc->read(1)) {  // extended data: the parametric-stereo payload is kept for its reader
        int count = int(bc->read(4));
        if (count == 15) count += int(bc->read(8));
        int left = 8 * count;
        while (left > 7) {
            const int id = int(bc->read(2));
            left -= 2;
            if (id == kExtensionPs) psData_ = bc->p, psOffset_ = bc->off, psBits_ = left;
            bc->skip(size_t(left));  // an extension runs to the end of the extended data
            left = 0;
        }
        bc->skip(size_t(left));
    }
    return bc->left() >= 0;
}

// Envelope and noise values to energies; a coupled pair shares level and balance.
void SbrElement::dequantise(bool pair) {
    const int n = pair ? 2 : 1;
    for (int c = 0; c < n; ++c) {
        const SbrChannelFrame& f = frame_[c];
        const float a = f.ampRes ? 1.0f : 0.5f;  // exponent step of one envelope unit
        const int eMax = f.ampRes ? 63 : 127;     // the same largest energy at both resolutions
        for (int l = 0; l < f.grid.numEnv; ++l) {
            const int nb = f.grid.freqRes[l] ? tab_.nHigh : tab_.nLow;
            for (int j = 0; j < nb; ++j) {
                const int e = std::clamp(f.env[l][j], 0, eMax);
                if (!coupled_) {
                    levels_[c].env[l][j] = 64.0f * std::exp2(float(e) * a);
                } else if (c == 1) {
                    const int pan = f.ampRes ? 12 : 24;
                    const float r = std::exp2(float(pan - std::clamp(f.env[l][j], 0, 2 * pan)) * a);
                    const float left = 128.0f * std::exp2(float(std::clamp(frame_[0].env[l][j], 0, eMax)) * a) / (1 + r);
                    levels_[0].env[l][j] = left;
                    levels_[1].env[l][j] = left * r;
                }
            }
        }
        for (int l = 0; l < f.grid.numNoise; ++l)
            for (int j = 0; j < tab_.nQ; ++j) {
                const int q = std::clamp(f.noise[l][j], 0, 30);
                if (!coupled_) {
                    levels_[c].noise[l][j] = std::exp2(float(6 - q));
                } else if (c == 1) {
                    const float r = std::exp2(float(12 - std::clamp(f.noise[l][j], 0, 24)));
                    const float left = std::exp2(float(7 - std::clamp(frame_[0].noise[l][j], 0, 30))) / (1 + r);
                    levels_[0].noise[l][j] = left;
                    levels_[1].noise[l][j] = left * r;
                }
            }
    }
}

bool SbrDecoder::configure(int sbrRate, int numSlots, int channels, bool down, bool lp) {
    rate_ = sbrRate;
    el_.assign(size_t(numSlots), SbrElement{});
    ch_.clear();
    chGeneration_.assign(size_t(channels), -1);
    for (int c = 0; c < channels; ++c) {
        ch_.push_back(std::make_unique<SbrChannel>());
        if (!ch_.back()->init(down, lp)) return false;
    }
    return hf_.ok();
}

bool SbrDecoder::read(int slot, const uint8_t* payload, int bits, bool pair, bool crc, std::string* why) {
    if (slot < 0 || slot >= int(el_.size())) return true;
    return el_[size_t(slot)].read(payload, bits, pair, crc, hf_, rate_, why);
}

void SbrDecoder::startBlock() {
    for (SbrElement& e : el_) e.clearFrame();
}

void SbrDecoder::analyse(int c, int slot, int index, const int16_t* core) {
    SbrChannel& ch = *ch_[size_t(c)];
    const SbrElement* e = slot >= 0 && slot < int(el_.size()) ? &el_[size_t(slot)] : nullptr;
    if (e && e->haveFrame()) {
        if (chGeneration_[size_t(c)] != e->generation()) {
            ch.reset();
            chGeneration_[size_t(c)] = e->generation();
        }
        ch.analyse(core, &e->header(), &e->tables(), &e->frame(index), &e->levels(index));
    } else {
        ch.analyse(core, nullptr, nullptr, nullptr, nullptr);
    }
}
