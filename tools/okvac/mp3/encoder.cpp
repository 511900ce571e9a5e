#include "mp3/encoder.h"

#include <algorithm>
#include <cstring>

#include "mp3/band_shaping.h"
#include "mp3/block_types.h"
#include "mp3/crc16.h"
#include "mp3/frame_tables.h"
#include "mp3/info_tag.h"
#include "mp3/intensity_bands.h"
#include "mp3/sfb_bands.h"

namespace {

// The model's ratios describe the granule before the one it reads, centred 512 samples before
// that granule's end; the filterbank reads 288 samples further back than its own 480-sample
// window history so that its granules line up with them.
constexpr int kHistory = 480 + 288;
// The decoded signal follows the input 1345 samples later (the model's look-ahead, analysis,
// hybrid transform and synthesis); the tag's delay leaves out the 529 of the synthesis.
constexpr int kCoderDelay = 1345, kTagDelay = kCoderDelay - 529;

// ffmpeg forgets the rest of its start skip when the frame that ends it also carries the end
// trim, and then keeps that frame's leading samples. An input short enough for that goes in
// behind this much silence, which rounds the delay up to whole frames of n samples.
int roundedLead(int n) { return (kCoderDelay + n - 1) / n * n - kCoderDelay; }

}  // namespace

void Mp3Encoder::setInputLength(long long samples) {
    const int lead = roundedLead(frameSamples());
    lead_ = samples < lead ? lead : 0;
}

bool Mp3Encoder::init(int rate, int inChannels, int kbps, Mode mode, bool crc, bool intensity, std::string* error) {
    int id = -1, sf = -1, br = -1;
    for (int i = 0; i < 6; ++i)
        if (kMp3Rates[i % 3] >> (i / 3) == rate) id = 1 - i / 3, sf = i % 3;
    if (sf < 0) {
        *error = "sample rate " + std::to_string(rate) +
                 " Hz cannot be written (MPEG-1: 32, 44.1, 48 kHz; MPEG-2: 16, 22.05, 24 kHz)";
        return false;
    }
    for (int i = 1; i < 15; ++i) br = kMp3Kbps[id][i] == kbps ? i : br;
    if (br < 0) {
        *error = "bitrate " + std::to_string(kbps) + " kbit/s is not a Layer III rate at " + std::to_string(rate) +
                 (id ? " Hz (32..320)" : " Hz (8..160)");
        return false;
    }
    if (inChannels < 1 || inChannels > 2) {
        *error = "only mono and stereo input can be encoded";
        return false;
    }
    inChannels_ = inChannels;
    nch_ = inChannels == 1 || mode == Mode::Mono ? 1 : 2;
    granules_ = id ? 2 : 1;
    kbps_ = kbps, rate_ = rate, crc_ = crc, intensity_ = intensity;
    h_.id = id, h_.layer = 1, h_.protection_bit = crc ? 0 : 1;
    h_.bitrate_index = br, h_.sampling_frequency = sf;
    h_.mode = nch_ == 1 ? 3 : mode == Mode::Joint ? 1 : 0;
    h_.original_copy = 1;
    if (id) {
        okvsBitReservoirInit_MP3(&resv_, &h_);
    } else {
        // The library's reservoir set-up takes MPEG-1 only: the same rule with main_data_begin's
        // 8 bits (255 bytes) of MPEG-2.
        const int frameBits = 8 * (72000 * kbps / rate), room = 7680 - (frameBits < 7680 ? frameBits : 7680);
        resv_ = MP3BitReservoir{0, room < 2040 ? room : 2040};
        if (!huffman_.init()) {
            *error = "out of memory";
            return false;
        }
    }
    for (int ch = 0; ch < 2; ++ch) {
        pcm_[ch].assign((size_t)(kHistory + frameSamples() + roundedLead(frameSamples())), 0);
        overlap_[ch].assign(576, 0);
    }
    psyIn_.assign((size_t)frameSamples() * nch_, 0);
    xr_.assign((size_t)576 * granules_ * nch_, 0), spectra_ = xr_, sub_.assign(576, 0);
    sf_.assign((size_t)40 * granules_ * nch_, 0), quantWork_.assign(OKV_MP3_QUANT_WORK_LEN, 0);
    psyState_.assign(OKV_MP3_PSY_STATE_SIZE, 0);
    psyWork_.assign(OKV_MP3_PSY_WORK_SIZE, 0);
    return true;
}

void Mp3Encoder::encode(const int16_t* pcm, std::vector<uint8_t>& out) {
    const int n = frameSamples();
    // New samples after the history and the lead; two channels fold into one for a mono stream.
    // The frame coded is the n samples after the history.
    for (int ch = 0; ch < nch_; ++ch) {
        int16_t* d = pcm_[ch].data();
        memmove(d, d + n, (size_t)(kHistory + lead_) * sizeof(int16_t));
        for (int i = 0; i < n; ++i) {
            const int16_t* s = pcm + (size_t)i * inChannels_;
            d[kHistory + lead_ + i] = nch_ == 1 && inChannels_ == 2 ? (int16_t)((s[0] + s[1]) >> 1) : s[ch];
        }
        for (int i = 0; i < n; ++i) psyIn_[(size_t)i * nch_ + ch] = d[kHistory + i];
    }
    // Block types, ratios and the stereo decisions. Intensity stereo (on request) stays only in
    // frames whose two channels share the block type of each granule: decoders pair the
    // channels' bands by one band table.
    const int rec = granules_ * nch_;
    MP3SideInfo si[4] = {};
    MP3PsyRatio ratio[4];
    int bound[6] = {21, 12, 12, 21, 12, 12};
    okvsPsychoacousticModelTwo_MP3_16s(psyIn_.data(), ratio, bound, si, &h_, psyState_.data(), nullptr,
                                       psyWork_.data());
    bool attack[2];
    const int16_t* const channels[2] = {pcm_[0].data(), pcm_[1].data()};
    for (int gr = 0; gr < granules_; ++gr) attack[gr] = attackAt(channels, nch_, kHistory + 576 * (gr + 1));
    blockTypes_.decide(si, ratio, attack, granules_, nch_, h_.id * 3 + h_.sampling_frequency);
    bool sameTypes = true;
    for (int gr = 0; gr < granules_ && nch_ == 2; ++gr) sameTypes = sameTypes && si[2 * gr].block_type == si[2 * gr + 1].block_type;
    // Mid/side, too, needs the two channels' types alike (the attack detector may part them).
    if (!sameTypes) h_.mode_extension = 0;
    if (!intensity_) h_.mode_extension &= 2;
    std::vector<Okv32s>&xr = xr_, &sub = sub_;
    for (int gr = 0; gr < granules_; ++gr)
        for (int ch = 0; ch < nch_; ++ch) {
            for (int t = 0; t < 18; ++t) okvsAnalysisPQMF_MP3_16s32s(pcm_[ch].data() + 576 * gr + 32 * t, sub.data() + 32 * t, 1);
            const MP3SideInfo& s = si[gr * nch_ + ch];
            okvsMDCTFwd_MP3_32s(sub.data(), xr.data() + 576 * (gr * nch_ + ch), s.block_type, 0, &h_, overlap_[ch].data());
        }

    const int perKbps = h_.id ? 144000 : 72000;
    const int pad = (padAcc_ += perKbps * kbps_ % rate_) >= rate_;
    if (pad) padAcc_ -= rate_;
    h_.padding_bit = pad;
    const size_t slots = (size_t)(perKbps * kbps_ / rate_ + pad);
    const int sideBytes = h_.id ? (nch_ == 1 ? 17 : 32) : (nch_ == 1 ? 9 : 17), headBytes = crc_ ? 6 : 4;
    const int meanBits = 8 * ((int)slots - headBytes - sideBytes);
    const int resvBefore = resv_.resvSize;
    // LSF start and stop blocks get their region tables anew when written (see HuffmanWriter),
    // which may take a few more bits than the quantiser counted: the quantiser is told of
    // fewer bits for such a frame, and what it leaves goes back to the reservoir.
    int margin = 0;
    for (int r = 0; r < rec; ++r) margin = !h_.id && si[r].window_switching_flag && si[r].block_type != 2 ? 128 : margin;
    // The quantiser gives each record the bits its perceptual entropy asks for (about 3.1 per unit
    // in a long block) and an equal share of what those demands leave. Equal shares starve a
    // loud mid channel for a quiet side one: with mid/side on, the long records' entropies are
    // scaled up, in proportion, until their demands take three quarters of the mean bits.
    long long peSum = 0;
    for (int r = 0; r < rec; ++r) peSum += si[r].block_type != 2 ? ratio[r].pe : 0;
    const long long peTarget = (long long)meanBits * 3 * 65536 / (4 * 203161);
    for (int r = 0; r < rec && (h_.mode_extension & 2) && peSum > 0 && peSum < peTarget; ++r)
        if (si[r].block_type != 2) ratio[r].pe = (int)(ratio[r].pe * peTarget / peSum);
    std::vector<Okv8s>& sf = sf_;
    std::fill(sf.begin(), sf.end(), 0);
    int scfsi[8], count1[4], huf[4];
    // Main data: scalefactors and Huffman data per granule and channel, then zero bits up to
    // the bits this frame hands on (stuffing that no granule could hold: ancillary bits). The
    // quantiser budgets at most 74 (long) or 126 (short) scalefactor bits per record, and none
    // for a right channel left without coded bands; intensity positions may need more (up to
    // 168 bits in LSF). A frame that does not fit is quantised again with the excess taken off
    // its bits.
    const size_t start = mainData_.size();
    const long room = meanBits + resvBefore;
    mainData_.resize(start + (size_t)room / 8 + 64, 0);
    long used = 0;
    for (long cut = 0;;) {
        quantise(xr, si, ratio, bound, sf.data(), scfsi, count1, huf, meanBits - margin - (int)cut);
        long over = -resv_.resvSize;
        if (!h_.id) {
            std::fill(mainData_.begin() + (long)start, mainData_.end(), 0);
            used = writeLsf(xr.data(), sf.data(), si, count1, rec, mainData_.data() + start);
            over = used - room;
        }
        if (over <= 0 || cut >= meanBits) break;
        cut += over;
    }
    // The band cut follows the channel's gain smoothed over granules: cut and gain would
    // otherwise feed each other into a swing from one granule to the next.
    for (int r = 0; r < rec; ++r) {
        int& g = lastGain_[r % nch_];
        g = g == 210 || si[r].global_gain == 210 ? si[r].global_gain : (g + si[r].global_gain + 1) / 2;
    }
    long total = room - resv_.resvSize;
    if (h_.id) {
        Okv8u* p = mainData_.data() + start;
        int off = 0;
        for (int r = 0; r < rec; ++r) {
            okvsPackScaleFactors_MP3_8s1u(sf.data() + 40 * r, &p, &off, &h_, si + r, scfsi + 4 * (r % nch_), r / nch_, r % nch_);
            okvsHuffmanEncode_MP3_32s1u(xr.data() + 576 * r, &p, &off, &h_, si + r, count1[r], huf[r]);
        }
    } else {
        // Each record's part2_3_length is the bits written; the reservoir keeps what is left,
        // in whole bytes up to its maximum. Should the frame not hold the records (the margin
        // exhausted), a start or stop block is sent empty.
        for (int r = rec - 1; r >= 0 && used > room; --r)
            if (si[r].window_switching_flag && si[r].block_type != 2) {
                si[r].big_values = 0, count1[r] = 0;
                std::fill(mainData_.begin() + (long)start, mainData_.end(), 0);
                used = writeLsf(xr.data(), sf.data(), si, count1, rec, mainData_.data() + start);
            }
        const long keep = room - used < resv_.resvMaxSize ? room - used : resv_.resvMaxSize;
        resv_.resvSize = (int)(keep & ~7L);
        total = room - resv_.resvSize;
    }
    mainData_.resize(start + (size_t)total / 8);

    Pending f;
    f.head.resize((size_t)headBytes + (size_t)sideBytes);
    Okv8u* sp = f.head.data() + headBytes;
    okvsPackSideInfo_MP3(si, &sp, resvBefore / 8, 0, scfsi, &h_);
    if (crc_) {
        Okv8u* hp = f.head.data();
        okvsPackFrameHeader_MP3(&h_, &hp);  // bytes 2 and 3 enter the CRC
        uint16_t c = crc16Frame(0xFFFF, f.head.data() + 2, 2);
        h_.crc_check = crc16Frame(c, f.head.data() + headBytes, (size_t)sideBytes);
    }
    Okv8u* hp = f.head.data();
    okvsPackFrameHeader_MP3(&h_, &hp);
    f.slot = slots - (size_t)headBytes - (size_t)sideBytes;
    pending_.push_back(std::move(f));
    ++encoded_;
    emit(out);
}

void Mp3Encoder::quantise(std::vector<Okv32s>& xr, MP3SideInfo* si, MP3PsyRatio* ratio, int* bound, Okv8s* sf,
                          int* scfsi, int* count1, int* huf, int bits) {
    const int rec = granules_ * nch_, row = h_.id * 3 + h_.sampling_frequency;
    const bool intensity = h_.mode == 1 && (h_.mode_extension & 1);
    std::copy(xr.begin(), xr.end(), spectra_.begin());
    const std::vector<Okv32s>& spectra = spectra_;
    MP3SideInfo siIn[4];
    MP3PsyRatio ratioIn[4];
    std::copy(si, si + rec, siIn);
    std::copy(ratio, ratio + rec, ratioIn);
    const MP3BitReservoir resv = resv_;
    // Decoders place the intensity bound after the right channel's last non-zero quantised
    // value. Where the quantiser leaves the right channel empty below the bound, the frame is
    // coded again from the transformed spectra with the bound lowered to where decoders will
    // find it; each pass lowers a bound, so this ends, at the latest with an empty right channel
    // (bound 0).
    for (;;) {
        xr = spectra;
        std::copy(siIn, siIn + rec, si);
        std::copy(ratioIn, ratioIn + rec, ratio);
        resv_ = resv;
        std::fill(sf, sf + 40 * rec, 0);
        if (h_.mode == 1)
            for (int gr = 0; gr < granules_; ++gr) {
                Okv32s* l = xr.data() + 1152 * gr;
                Okv8s isPos[39] = {};
                okvsJointStereoEncode_MP3_32s_I(l, l + 576, isPos, &h_, si + 2 * gr, bound + 3 * gr);
                // The right channel's scalefactors from the bound up carry the positions; the
                // quantiser keeps them and sizes scalefac_compress to hold them.
                Okv8s* pos = sf + 40 * (2 * gr + 1);
                if (intensity && h_.id)
                    std::copy(isPos, isPos + 39, pos);
                else if (intensity)
                    lsfIntensity(spectra.data() + 1152 * gr, spectra.data() + 1152 * gr + 576, l, l + 576, pos,
                                 si[2 * gr].block_type == 2, row, bound + 3 * gr);
            }
        for (int r = 0; r < rec; ++r) {
            shapeBands(xr.data() + 576 * r, ratio[r], si[r], row, lastGain_[r % nch_]);
            // At 24 kHz decoders differ on whether lines 330 and 331 belong to long band 17 or 18
            // (which scalefactor they take): left empty, they decode alike everywhere.
            if (row == 1 && si[r].block_type != 2) xr[576 * r + 330] = xr[576 * r + 331] = 0;
        }
        okvsQuantize_MP3_32s_I(xr.data(), sf, scfsi, count1, huf, &h_, si, ratio, psyState_.data(), &resv_, bits,
                               bound, quantWork_.data());
        bool moved = false;
        for (int gr = 0; gr < granules_ && intensity; ++gr)
            moved = settleBound(xr.data() + 576 * (2 * gr + 1), si[2 * gr + 1].block_type == 2, row, bound + 3 * gr) || moved;
        if (!moved) return;
    }
}

long Mp3Encoder::writeLsf(const Okv32s* xr, const Okv8s* sf, MP3SideInfo* si, const int* count1, int rec, Okv8u* p) {
    const Okv16s* longBands = kSfbLong[h_.sampling_frequency];
    int off = 0;
    long used = 0;
    const int noScfsi[4] = {};
    for (int r = 0; r < rec; ++r) {
        const long before = 8L * (p - mainData_.data()) + off;
        okvsPackScaleFactors_MP3_8s1u(sf + 40 * r, &p, &off, &h_, si + r, noScfsi, 0, r);
        if (si[r].big_values || count1[r]) huffman_.write(xr + 576 * r, si[r], count1[r], longBands, &p, &off);
        si[r].part2_3_length = (int)(8L * (p - mainData_.data()) + off - before);
        used += si[r].part2_3_length;
    }
    return used;
}

void Mp3Encoder::emit(std::vector<uint8_t>& out) {
    size_t used = 0;
    const size_t from = out.size();
    while (!pending_.empty() && pending_.front().slot <= mainData_.size() - used) {
        const Pending& f = pending_.front();
        out.insert(out.end(), f.head.begin(), f.head.end());
        out.insert(out.end(), mainData_.begin() + (long)used, mainData_.begin() + (long)(used + f.slot));
        used += f.slot;
        pending_.pop_front();
        ++frames_;
    }
    bytes_ += (long long)(out.size() - from);
    audioCrc_ = crc16Reflected(audioCrc_, out.data() + from, out.size() - from);
    mainData_.erase(mainData_.begin(), mainData_.begin() + (long)used);
}

void Mp3Encoder::finish(long long samples, std::vector<uint8_t>& out) {
    const std::vector<int16_t> silence((size_t)frameSamples() * (size_t)inChannels_, 0);
    while (encoded_ * frameSamples() < samples + kCoderDelay + lead_) encode(silence.data(), out);
    size_t need = 0;
    for (const Pending& f : pending_) need += f.slot;
    if (mainData_.size() < need) mainData_.resize(need, 0);
    emit(out);
}

std::vector<uint8_t> Mp3Encoder::infoTag(long long samples) const {
    InfoTotals t;
    t.frames = frames_, t.bytes = bytes_, t.audioCrc = audioCrc_;
    t.delay = kTagDelay + lead_, t.kbps = kbps_;
    t.padding = frames_ ? (int)(frames_ * frameSamples() - t.delay - samples) : 0;
    return infoTagFrame(h_, t);
}
