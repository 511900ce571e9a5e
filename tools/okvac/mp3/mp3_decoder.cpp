#include "mp3_decoder.h"

#include <cstring>

#include "mp3/sfb_bands.h"
#include "mp3/sfb_tables_data.h"

namespace {

// Band tables for MPEG-2.5: rows 6..8 of the tables, so that row sampling_frequency of the
// pointer handed to the library (id 0) is the MPEG-2.5 row.
const Okv16s kSfbMixed[9][2] = OKV_MP3_SFB_MIXED_INIT;

constexpr size_t kPad = Mp3Decoder::kInputPad;
constexpr size_t kMaxReservoir = 511; // largest main_data_begin

// Scale of the hybrid filterbank output (Q24) to 16-bit PCM units for the float synthesis.
constexpr float kFloatScale = 1.0f / 512.0f;

}  // namespace

Mp3Decoder::Mp3Decoder(bool floatSynth) : float_(floatSynth), res_(8192 + kPad) {
    memset(overlap_, 0, sizeof overlap_);
    memset(hist_, 0, sizeof hist_);
    memset(scf_, 0, sizeof scf_);
    if (float_)
        for (auto& s : spec_)
            if (okvsSynthesisFilterInitAlloc_PQMF_MP3_32f(&s) != okvOk) ok_ = false;
}

Mp3Decoder::~Mp3Decoder() {
    for (auto* s : spec_)
        if (s) okvsSynthesisFilterFree_PQMF_MP3_32f(s);
}

size_t Mp3Decoder::appendMainData(const uint8_t* p, size_t n) {
    if (resLen_ + n + kPad > res_.size()) {
        const size_t keep = resLen_ < kMaxReservoir ? resLen_ : kMaxReservoir;
        memmove(res_.data(), res_.data() + resLen_ - keep, keep);
        resLen_ = keep;
        if (resLen_ + n + kPad > res_.size()) res_.resize(resLen_ + n + kPad);
    }
    const size_t before = resLen_;
    memcpy(res_.data() + resLen_, p, n);
    resLen_ += n;
    memset(res_.data() + resLen_, 0, kPad);
    return before;
}

const char* Mp3Decoder::decode(const uint8_t* frame, size_t size, bool paddedInput, const Mp3FrameInfo& fi,
                               int outChannels, int16_t* pcm) {
    const size_t sideEnd = size_t(fi.sideInfoStart) + fi.sideInfoBytes;
    const char* err = nullptr;
    if (size < sideEnd) {
        err = "frame too short";
    } else {
        // The unpackers read a few bytes ahead: a frame at the very end of the input is copied.
        Okv8u* p = const_cast<Okv8u*>(frame);
        if (!paddedInput) {
            frame_.assign(frame, frame + size);
            frame_.resize(size + kPad, 0);
            p = frame_.data();
        }
        const Okv8u* base = p;
        MP3FrameHeader h;
        int mdb = 0, priv;
        StatusCode st = okvsUnpackFrameHeader_MP3(&p, &h);
        if (st == okvOk) st = okvsUnpackSideInfo_MP3(&p, si_, &mdb, &priv, scfsi_, &h);
        const size_t before = appendMainData(base + sideEnd, size - sideEnd);
        if (st != okvOk)
            err = "bad side information";
        else if (size_t(mdb) > before)
            err = "bit reservoir underflow";
        else {
            // Main data of this frame: from mdb bytes before this frame's own to the end.
            const size_t start = before - size_t(mdb);
            long total = 0;
            for (int i = 0; i < (fi.version == 1 ? 2 : 1) * fi.channels; ++i) total += si_[i].part2_3_length;
            if (total > long(resLen_ - start) * 8) err = "main data overruns the frame";
            if (!err) err = decodeMainData(start, h, fi, outChannels, pcm);
        }
    }
    if (err) {
        memset(pcm, 0, sizeof(int16_t) * size_t(fi.samples) * outChannels);
        memset(overlap_, 0, sizeof overlap_);
        prevCount_[0] = prevCount_[1] = 0;
    }
    return err;
}

const char* Mp3Decoder::decodeMainData(size_t start, const MP3FrameHeader& h, const Mp3FrameInfo& fi, int outChannels,
                                       int16_t* pcm) {
    const bool mpeg25 = fi.version == 25;
    const int nch = fi.channels, ngr = fi.version == 1 ? 2 : 1;
    // Outside joint stereo the mode extension means nothing: keep it from the stereo rules.
    MP3FrameHeader hq = h;
    if (h.mode != 1) hq.mode_extension = 0;
    const Okv16s* lng = mpeg25 ? kSfbLong[6] : kSfbLong[0];
    const Okv16s* sht = mpeg25 ? kSfbShort[6] : kSfbShort[0];

    Okv8u* ptr = res_.data() + start;
    int off = 0;
    for (int gr = 0; gr < ngr; ++gr) {
        MP3SideInfo* si = si_ + gr * nch;
        for (int ch = 0; ch < nch; ++ch) {
            const Okv8u* p0 = ptr;
            const int o0 = off;
            if (okvsUnpackScaleFactors_MP3_1u8s(&ptr, &off, scf_ + 40 * ch, &si[ch], scfsi_ + 4 * ch, &hq, gr, ch) != okvOk)
                return "bad scalefactors";
            const long used = (ptr - p0) * 8L + off - o0;
            if (used > si[ch].part2_3_length) return "scalefactors longer than part2_3_length";
            const int budget = si[ch].part2_3_length - int(used);
            StatusCode st;
            if (mpeg25)
                st = okvsHuffmanDecodeSfbMbp_MP3_1u32s(&ptr, &off, xr_ + 576 * ch, &nzb_[ch], &si[ch], &hq, budget, lng,
                                                       sht, kSfbMixed[6]);
            else
                st = okvsHuffmanDecode_MP3_1u32s(&ptr, &off, xr_ + 576 * ch, &nzb_[ch], &si[ch], &hq, budget);
            if (st != okvOk) return "bad Huffman data";
        }
        MP3SideInfo pair[2] = {si[0], si[nch - 1]};
        StatusCode st;
        if (mpeg25)
            st = okvsReQuantizeSfb_MP3_32s_I(xr_, nzb_, scf_, pair, &hq, work_, lng, sht);
        else
            st = okvsReQuantize_MP3_32s_I(xr_, nzb_, scf_, pair, &hq, work_);
        if (st != okvOk) return "bad data for requantisation";
        int16_t* out = pcm + size_t(gr) * 576 * outChannels;
        for (int ch = 0; ch < nch; ++ch) {
            const int bt = si[ch].window_switching_flag ? si[ch].block_type : 0;
            if (okvsMDCTInv_MP3_32s(xr_ + 576 * ch, slots_, overlap_[ch], nzb_[ch], &prevCount_[ch], bt,
                                    si[ch].mixed_block_flag) != okvOk)
                return "inverse MDCT refused the granule";
            synthesise(ch, outChannels, out);
        }
        if (float_) {
            const Okv32f* rows[2] = {rows_[0], rows_[nch - 1]};
            okvsJoin_32f16s_D2L(rows, outChannels, 576, out);
        } else if (nch < outChannels) {
            for (int i = 0; i < 576; ++i) out[2 * i + 1] = out[2 * i];
        }
    }
    return nullptr;
}

void Mp3Decoder::synthesise(int ch, int outChannels, int16_t* pcm) {
    for (int t = 0; t < 18; ++t) {
        const Okv32s* in = slots_ + 32 * t;
        if (float_) {
            alignas(16) Okv32f f[32];
            for (int k = 0; k < 32; ++k) f[k] = Okv32f(in[k]) * kFloatScale;
            okvsSynthesisFilter_PQMF_MP3_32f(f, rows_[ch] + 32 * t, spec_[ch], 1);
        } else {
            okvsSynthPQMF_MP3_32s16s(in, pcm + 32 * t * outChannels + ch, hist_[ch], &pos_[ch], outChannels);
        }
    }
}
