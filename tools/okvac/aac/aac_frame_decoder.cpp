#include "aac_frame_decoder.h"

#include <algorithm>
#include <cstring>

#include "bit_cursor.h"
#include "coupling_element.h"
#include "element_bounds.h"
#include "sf_codebook.h"
#include "tns_filter.h"

namespace {

constexpr int kEightShort = 2;
constexpr int kNoiseBook = 13, kIntensityOut = 14, kIntensityIn = 15;

std::string failed(const char* what, StatusCode st) { return std::string(what) + " failed (status " + std::to_string(st) + ")"; }

bool pastEnd(const uint8_t* p, int off, const uint8_t* end) { return p > end || (p == end && off > 0); }

// Channels fed by independently switched coupling run their filterbank on spectra scaled up by
// 2^bits, up to 2^kFineBits as far as the largest line leaves room in 32 bits: the coupled sum
// is rounded to 16 bits once, from those extra fractional bits. The transform rounds its output
// to the scale it works at, so fewer extra bits than 4 would round twice more coarsely than its
// own eighths of a step.
constexpr int kFineBits = 4;

int fineBits(const Okv32s* x) {
    int64_t top = 0;
    for (int k = 0; k < 1024; ++k) top = std::max(top, x[k] < 0 ? -int64_t(x[k]) : int64_t(x[k]));
    int bits = kFineBits;
    while (bits > 0 && top << bits > INT32_MAX) --bits;
    return bits;
}

// An overlap buffer from one scale to another (down: rounded).
void rescale(Okv32s* overlap, int from, int to) {
    if (to > from)
        for (int n = 0; n < 1024; ++n) overlap[n] = Okv32s(int64_t(overlap[n]) * (1 << (to - from)));
    else if (to < from)
        for (int n = 0; n < 1024; ++n) overlap[n] = (overlap[n] + (1 << (from - to - 1))) >> (from - to);
}

void scaleSpectrum(Okv32s* x, int bits) {
    for (int k = 0; k < 1024; ++k) x[k] *= 1 << bits;
}

// The filterbank on a spectrum scaled up by 2^bits, its overlap first brought to that scale.
StatusCode fineFilterbank(Okv32s* x, Okv16s* pcm, Okv32s* overlap, int* overlapBits, int bits, const AACIcsInfo& ics,
                          int* prevShape) {
    rescale(overlap, *overlapBits, bits);
    *overlapBits = bits;
    scaleSpectrum(x, bits);
    const StatusCode st = okvsMDCTInv_AAC_32s16s(x, pcm, overlap, ics.winSequence, ics.winShape, *prevShape, 1);
    if (st >= 0) *prevShape = ics.winShape;
    return st;
}

}  // namespace

struct AacFrameDecoder::Channel {
    alignas(16) Okv32s overlap[1024];
    alignas(16) Okv16s pcm[1024];
    int prevShape = 0;
    int bits = 0;  // extra bits of the overlap
};

// One decoded individual channel stream and its spectrum.
struct AacFrameDecoder::Stream {
    AACIcsInfo ics;
    AACChanInfo ci;
    alignas(16) Okv32s spec[1024];
    alignas(16) Okv32s work[1024];
    Okv32s* x = spec;  // the current layout: grouped, then window order
    int out = -1;      // output channel, -1 for an element outside the layout
    int pred = -1;     // Main prediction state, -1 for none
    Okv16s sf[8 * 16];
    Okv8u cb[8 * 16];
    Okv8s tnsCoef[64];
    AACLtpData ltp;

    int maxSfb() const { return ics.maxSfb; }
    bool isShort() const { return ics.winSequence == kEightShort; }
    bool uses(int book) const {
        for (int i = 0; i < ics.numWinGrp * ics.maxSfb; ++i)
            if (cb[i] == book) return true;
        return false;
    }
};

// A coupling element of the current block (active) and the state its tag carries from block
// to block: the Main predictor's and, under independent switching, the filterbank's.
struct AacFrameDecoder::Coupling {
    CouplingHeader h;
    CouplingGains gains;
    Stream s;
    bool active = false;
    alignas(16) Okv32s overlap[1024] = {};
    alignas(16) Okv16s pcm[1024];
    int prevShape = 0;
    int bits = 0;                               // extra bits of the overlap and of time()
    const Okv32s* time() const { return s.x; }  // filterbank output
};

AacFrameDecoder::AacFrameDecoder() {
    const Okv32s sub[3] = {8, 6, 5};
    okvsVLCDecodeInitAlloc_32s(kSfCodebook, 121, sub, 3, &sfSpec_);
}

AacFrameDecoder::~AacFrameDecoder() {
    if (sfSpec_) okvsVLCDecodeFree_32s(sfSpec_);
}

void AacFrameDecoder::configure(const AacConfig& cfg, bool coreOnly, bool lowPower) {
    cfg_ = cfg;
    cfg_.mpeg2 = cfg.mpeg2 && cfg.objectType != 4;  // LTP exists only in the MPEG-4 syntax
    layout_ = cfg.layout;
    ch_.assign(size_t(layout_.channels), Channel{});
    streams_ = std::make_unique<Stream[]>(ch_.size() + 2);
    cce_.reset();
    ltp_ = std::vector<LtpChannel>(cfg.objectType == 4 ? ch_.size() : 0);
    // An allocation failure leaves prediction off: Main blocks then fail one by one. Coupling
    // elements have a predictor per tag after the channels'.
    main_.configure(cfg.objectType == 1, cfg.prediction, layout_.channels + kCouplingTags, cfg.rateIndex);
    clearOverlap();
    coreOnly_ = coreOnly;
    sbrLp_ = lowPower;
    blocks_ = 0;
    sbr_.reset();
    sbrOn_ = false;
    ps_.reset();
    psOn_ = false;
    chSlot_.assign(size_t(layout_.channels), -1);
    chIndex_.assign(size_t(layout_.channels), 0);
    for (size_t s = 0; s < layout_.slots.size(); ++s)
        for (int i = 0; i < (layout_.slots[s].type == kCpe ? 2 : 1); ++i)
            if (layout_.slots[s].out[i] >= 0) chSlot_[size_t(layout_.slots[s].out[i])] = int(s), chIndex_[size_t(layout_.slots[s].out[i])] = i;
    if (cfg.sbr && !coreOnly) startSbr();
    if (sbrOn_ && mayPs()) startPs();
}

// Parametric stereo makes a mono channel with SBR a stereo pair, unless the configuration
// says that the stream has none: PS data may start at any frame, but the output's channel
// count is settled with the first block.
void AacFrameDecoder::startPs() {
    auto ps = std::make_unique<PsStage>();
    if (!ps->init(sbrDown_)) return;
    ps_ = std::move(ps);
    sbrOut_.resize(2, std::vector<float>(2048));
    psOn_ = true;
}

// SBR runs at twice the core rate; a rate without band tables leaves the stream to its core.
bool AacFrameDecoder::startSbr() {
    auto dec = std::make_unique<SbrDecoder>();
    sbrDown_ = cfg_.sbrRate == cfg_.sampleRate;
    if (!dec->configure(2 * cfg_.sampleRate, int(layout_.slots.size()), layout_.channels, sbrDown_, sbrLp_))
        return false;
    sbr_ = std::move(dec);
    sbrOut_.assign(size_t(layout_.channels), std::vector<float>(2048));
    sbrOn_ = true;
    return true;
}

void AacFrameDecoder::clearOverlap() {
    for (Channel& c : ch_) {
        std::memset(c.overlap, 0, sizeof c.overlap);
        c.prevShape = 0;
        c.bits = 0;
    }
    for (int t = 0; cce_ && t < kCouplingTags; ++t) {
        std::memset(cce_[t].overlap, 0, sizeof cce_[t].overlap);
        cce_[t].prevShape = 0;
        cce_[t].bits = 0;
    }
    for (LtpChannel& l : ltp_) l.reset();
    main_.resetAll();
}

std::string AacFrameDecoder::decodeBlock(const uint8_t** p, int* off, const uint8_t* end, int16_t* pcm) {
    present_.assign(ch_.size(), 0);
    sbrProblem_.clear();
    if (sbr_) sbr_->startBlock();
    std::string err = decodeElements(p, off, end);
    ++blocks_;
    if (err.empty() && sbrOn_) {
        err = sbrOutput(pcm);
        if (err.empty()) return "";
    } else if (err.empty()) {
        for (size_t c = 0; c < ch_.size(); ++c)
            if (!present_[c]) {  // an element missing from this block: silence, nothing carried over
                std::memset(ch_[c].pcm, 0, sizeof ch_[c].pcm);
                std::memset(ch_[c].overlap, 0, sizeof ch_[c].overlap);
                if (!ltp_.empty()) ltp_[c].reset();
            }
        std::vector<const Okv16s*> src(ch_.size());
        for (size_t c = 0; c < ch_.size(); ++c) src[c] = ch_[c].pcm;
        const StatusCode st = okvsInterleave_16s(src.data(), int(ch_.size()), 1024, pcm);
        if (st >= 0) return "";
        err = failed("okvsInterleave_16s", st);
    }
    std::memset(pcm, 0, size_t(blockLength()) * size_t(channels()) * sizeof *pcm);
    clearOverlap();
    return err;
}

// Every channel through its SBR channel (upsampled core where no SBR data came), then joined.
std::string AacFrameDecoder::sbrOutput(int16_t* pcm) {
    for (size_t c = 0; c < ch_.size(); ++c) {
        if (!present_[c]) {
            std::memset(ch_[c].pcm, 0, sizeof ch_[c].pcm);
            std::memset(ch_[c].overlap, 0, sizeof ch_[c].overlap);
        }
        sbr_->analyse(int(c), chSlot_[c], chIndex_[c], ch_[c].pcm);
    }
    // Here every channel's QMF-domain matrix is complete (SbrDecoder::channel(c).matrix()).
    std::vector<const Okv32f*> rows(static_cast<size_t>(channels()));
    if (psOn_) {  // the mono matrix mixed into a stereo pair
        if (!ps_->run(sbr_->channel(0), sbrOut_[0].data(), sbrOut_[1].data()))
            return "the parametric-stereo synthesis failed";
        rows[1] = sbrOut_[1].data();
    }
    for (size_t c = 0; c < ch_.size(); ++c) {
        if (!psOn_ && !sbr_->synthesise(int(c), sbrOut_[c].data())) return "the SBR synthesis failed";
        rows[c] = sbrOut_[c].data();
    }
    const StatusCode st = okvsJoin_32f16s_D2L(rows.data(), int(rows.size()), blockLength(), pcm);
    return st < 0 ? failed("okvsJoin_32f16s_D2L", st) : "";
}

// A fill element: an SBR payload belongs to the channel element before it. The first block
// decides whether an SBR payload in a stream not signalled as HE-AAC turns SBR on.
void AacFrameDecoder::readFill(const Okv8u* data, int count) {
    const int type = data[0] >> 4;
    if (count <= 0 || (type != 13 && type != 14)) return;
    sawSbr_ = true;
    if (!sbrOn_ && !coreOnly_ && blocks_ == 0 && !startSbr()) coreOnly_ = true;
    if (!sbrOn_ || lastSlot_ < 0) return;
    std::string why;
    if (!sbr_->read(lastSlot_, data, count * 8 - 4, lastPair_, type == 14, &why)) sbrProblem_ = why;
    if (!psOn_ && blocks_ == 0 && mayPs()) startPs();
    if (psOn_) ps_->read(sbr_->element(lastSlot_));
}

std::string AacFrameDecoder::decodeElements(const uint8_t** p, int* off, const uint8_t* end) {
    lastSlot_ = -1;
    numPlaced_ = 0;
    for (int t = 0; cce_ && t < kCouplingTags; ++t) cce_[t].active = false;
    std::vector<uint8_t> used(layout_.slots.size(), 0);
    for (int n = 0; n < kMaxElements; ++n) {
        BitCursor bc{*p, *off, end + aacbounds::kGuardBytes};
        const int id = int(bc.read(3));
        if (id == kEnd) {
            bc.align();
            if (pastEnd(bc.p, bc.off, end)) return "the block runs past the end of the frame";
            *p = bc.p, *off = 0;
            return finishChannels();
        }
        const int tag = id == kSce || id == kCpe || id == kLfe ? int(bc.read(4)) : 0;
        Okv8u* q = const_cast<Okv8u*>(bc.p);
        int o = bc.off;
        std::string err;
        if (id == kSce || id == kCpe || id == kLfe) {
            const ChannelLayout::Slot* slot = nullptr;
            lastSlot_ = -1;
            for (size_t s = 0; s < layout_.slots.size() && !slot; ++s)
                if (!used[s] && layout_.slots[s].type == id && (layout_.slots[s].tag < 0 || layout_.slots[s].tag == tag))
                    used[s] = 1, slot = &layout_.slots[s], lastSlot_ = id == kLfe ? -1 : int(s);
            lastPair_ = id == kCpe;
            placed_[numPlaced_++] = {id, tag, {slot ? slot->out[0] : -1, slot && id == kCpe ? slot->out[1] : -1}};
            // An element without a place in the layout is decoded and dropped.
            const uint8_t* cq = q;
            err = id == kCpe ? decodePair(&cq, &o, slot ? slot->out[0] : -1, slot ? slot->out[1] : -1)
                             : decodeSingle(&cq, &o, slot ? slot->out[0] : -1);
            q = const_cast<Okv8u*>(cq);
        } else if (id == kCce) {
            const uint8_t* cq = q;
            err = decodeCoupling(&cq, &o, end);
            q = const_cast<Okv8u*>(cq);
        } else if (id == kDse) {
            int dseTag, count;
            Okv8u data[512];
            const StatusCode st = okvsDecodeDatStrElt_AAC(&q, &o, &dseTag, &count, data);
            if (st < 0) err = failed("okvsDecodeDatStrElt_AAC", st);
        } else if (id == kPce) {
            AACPrgCfgElt pce;
            const StatusCode st = okvsDecodePrgCfgElt_AAC(&q, &o, &pce);
            if (st < 0) err = failed("okvsDecodePrgCfgElt_AAC", st);
        } else {
            int count;
            // Zeros after the payload: the SBR Huffman decoder may look a few bytes ahead.
            Okv8u data[272 + 16] = {};
            const StatusCode st = okvsDecodeFillElt_AAC(&q, &o, &count, data);
            if (st < 0) err = failed("okvsDecodeFillElt_AAC", st);
            else readFill(data, count);
        }
        if (!err.empty()) return err;
        if (pastEnd(q, o, end)) return "an element runs past the end of the frame";
        *p = q, *off = o;
    }
    return "more than " + std::to_string(kMaxElements) + " elements in one block";
}

// Noiseless decoding of one channel stream: the LC decoder for MPEG-2 streams, the MPEG-4
// decoder (object type 2) otherwise. With a common window s->ics already holds the ICS info.
std::string AacFrameDecoder::readStream(const uint8_t** p, int* off, Stream* s, bool commonWin, AACMainHeader* mh,
                                        bool second) {
    std::memset(&s->ci, 0, sizeof s->ci);
    s->ci.samplingRateIndex = cfg_.rateIndex;
    s->ci.pIcsInfo = &s->ics;
    s->x = s->spec;
    Okv8u* q = const_cast<Okv8u*>(*p);
    StatusCode st;
    if (main_.enabled()) {
        s->ci.predSfbMax = main_.limit();
        st = okvsNoiselessDecode_AAC(&q, off, mh, s->sf, s->spec, s->cb, s->tnsCoef, &s->ci, 0, 0, commonWin, 0, 1);
        if (st < 0) return failed("okvsNoiselessDecode_AAC", st);
    } else if (cfg_.mpeg2) {
        st = okvsNoiselessDecoder_LC_AAC(&q, off, commonWin, &s->ci, s->sf, s->spec, s->cb, s->tnsCoef);
        if (st < 0) return failed("okvsNoiselessDecoder_LC_AAC", st);
    } else {
        st = okvsNoiselessDecode_AAC(&q, off, mh, s->sf, s->spec, s->cb, s->tnsCoef, &s->ci, 0, 0, commonWin, 0,
                                     cfg_.objectType);
        if (st < 0) return failed("okvsNoiselessDecode_AAC", st);
    }
    *p = q;
    // The LTP data of a stream: its own ICS information's, or the common window's entry.
    s->ltp = mh->ltpData[commonWin && second ? 1 : 0];
    if (s->ics.predictorDataPresent && !main_.enabled() && cfg_.objectType != 4) return "prediction data in an AAC-LC stream";
    return "";
}

// A channel element leaves its spectra, up to TNS, in its channels' streams (elements outside the
// layout in the two spare ones); finishChannels() takes them from there.
std::string AacFrameDecoder::decodeSingle(const uint8_t** p, int* off, int out) {
    Stream* s = &streams_[out >= 0 ? size_t(out) : ch_.size()];
    s->out = s->pred = out;
    AACMainHeader mh{};
    std::string err = readStream(p, off, s, false, &mh, false);
    if (err.empty()) err = spectralTools(s, nullptr, nullptr);
    if (err.empty() && out >= 0) present_[size_t(out)] = 1;
    return err;
}

std::string AacFrameDecoder::decodePair(const uint8_t** p, int* off, int out0, int out1) {
    AACChanPairElt cpe;
    AACMainHeader mh{};
    Stream* l = &streams_[out0 >= 0 ? size_t(out0) : ch_.size()];
    Stream* r = &streams_[out1 >= 0 ? size_t(out1) : ch_.size() + 1];
    l->out = l->pred = out0, r->out = r->pred = out1;
    Okv8u* q = const_cast<Okv8u*>(*p);
    const bool mpeg2 = cfg_.mpeg2 && !main_.enabled();
    const StatusCode st = mpeg2 ? okvsDecodeChanPairElt_AAC(&q, off, &l->ics, &cpe, 0)
                                : okvsDecodeChanPairElt_MP4_AAC(&q, off, &l->ics, &cpe, &mh, main_.limit(),
                                                                main_.enabled() ? 1 : cfg_.objectType);
    if (st < 0) return failed(mpeg2 ? "okvsDecodeChanPairElt_AAC" : "okvsDecodeChanPairElt_MP4_AAC", st);
    *p = q;
    if (cpe.commonWin) r->ics = l->ics;
    std::string err = readStream(p, off, l, cpe.commonWin != 0, &mh, false);
    if (err.empty()) err = readStream(p, off, r, cpe.commonWin != 0, &mh, true);
    if (err.empty() && !cpe.commonWin && (l->uses(kIntensityIn) || r->uses(kIntensityIn) || r->uses(kIntensityOut)))
        err = "intensity stereo without a common window";
    if (err.empty()) err = spectralTools(l, r, cpe.commonWin ? &cpe : nullptr);
    for (const int out : {out0, out1})
        if (err.empty() && out >= 0) present_[size_t(out)] = 1;
    return err;
}

// Dequantisation, M/S, noise substitution and intensity, in that order. Noise and intensity run
// per window on short frames, after deinterleaving.
std::string AacFrameDecoder::spectralTools(Stream* l, Stream* r, const AACChanPairElt* cpe) {
    const int rate = cfg_.rateIndex;
    Stream* both[2] = {l, r};
    const int n = r ? 2 : 1;
    for (int i = 0; i < n; ++i) {
        Stream* s = both[i];
        if (main_.enabled()) main_.dequantise(i, s->ics, s->spec, s->sf, s->cb);
        const StatusCode st = okvsQuantInv_AAC_32s_I(s->spec, s->sf, s->ics.numWinGrp, s->ics.lenWinGrp, s->maxSfb(), s->cb,
                                                     rate, s->ci.winLen);
        if (st < 0) return failed("okvsQuantInv_AAC_32s_I", st);
    }
    // M/S flags: a left noise band is never converted (its partner is noise or unrelated), and
    // with mask 2 intensity bands keep their sign: only a mask of 1 inverts intensity, as the
    // standard's invert_intensity() says (one peer decoder inverts under mask 2 as well).
    // pnsFlags keep the stream's flags for the correlated-noise choice.
    Okv8u msFlags[8 * 60] = {}, pnsFlags[8 * 60] = {};
    const int mask = cpe ? cpe->msMaskPresent : 0;
    if (mask == 3) return "reserved M/S mask mode 3";
    if (mask) {
        const int maxSfb = l->maxSfb();
        for (int g = 0; g < l->ics.numWinGrp; ++g)
            for (int b = 0; b < maxSfb; ++b) {
                const int rb = r->cb[g * maxSfb + b];
                const bool flag = mask == 2 || cpe->msUsed[g][b];
                pnsFlags[g * 60 + b] = flag;
                msFlags[g * 60 + b] = flag && l->cb[g * maxSfb + b] != kNoiseBook &&
                                      !(mask == 2 && (rb == kIntensityIn || rb == kIntensityOut));
            }
        const StatusCode st = okvsDecodeMsStereo_AAC_32s_I(l->spec, r->spec, 1, msFlags, r->cb, l->ics.numWinGrp,
                                                           l->ics.lenWinGrp, maxSfb, rate, l->ci.winLen);
        if (st < 0) return failed("okvsDecodeMsStereo_AAC_32s_I", st);
        if (main_.enabled() && !l->isShort()) main_.midSide(msFlags, r->cb, maxSfb);
    }
    // Main profile: prediction after M/S, before intensity.
    for (int i = 0; i < n && main_.enabled(); ++i)
        if (std::string err = main_.predict(i, both[i]->pred, both[i]->ics, both[i]->cb, both[i]->spec); !err.empty())
            return err;
    const bool correlated = mask && !cfg_.mpeg2;
    const bool intensity = r && cpe && (r->uses(kIntensityIn) || r->uses(kIntensityOut));
    Okv32s savedSeeds[8 * 52];
    auto noise = [&](Stream* s, int chan, Okv32s* x, const Okv8u* cb, const Okv16s* sf, int groups, const int* lens,
                     int winLen) -> std::string {
        int* ltpFlags = s->ltp.ltpLongUsed;  // noise bands leave the prediction
        const StatusCode st =
            correlated ? okvsDecodeMsPNS_AAC_32s(x, ltpFlags, cb, sf, s->maxSfb(), groups, lens, rate, winLen, &seed_, chan,
                                                 pnsFlags, savedSeeds)
                       : okvsDecodePNS_AAC_32s(x, ltpFlags, cb, sf, s->maxSfb(), groups, lens, rate, winLen, &seed_);
        return st < 0 ? failed(correlated ? "okvsDecodeMsPNS_AAC_32s" : "okvsDecodePNS_AAC_32s", st) : "";
    };
    std::string err;
    for (int i = 0; i < n && err.empty(); ++i)
        if (!both[i]->isShort() && both[i]->uses(kNoiseBook))
            err = noise(both[i], i, both[i]->spec, both[i]->cb, both[i]->sf, 1, both[i]->ics.lenWinGrp, 1024);
    if (err.empty() && intensity && !r->isShort()) {
        const StatusCode st =
            okvsDecodeIsStereo_AAC_32s(l->spec, r->spec, r->sf, r->cb, 1, r->ics.lenWinGrp, r->maxSfb(), rate, 1024);
        if (st < 0) err = failed("okvsDecodeIsStereo_AAC_32s", st);
    }
    bool anyShort = false;
    for (int i = 0; i < n && err.empty(); ++i) {
        Stream* s = both[i];
        if (!s->isShort()) continue;
        const StatusCode st = okvsDeinterleaveSpectrum_AAC_32s(s->spec, s->work, s->ics.numWinGrp, s->ics.lenWinGrp,
                                                               s->maxSfb(), rate, 128);
        if (st < 0) return failed("okvsDeinterleaveSpectrum_AAC_32s", st);
        s->x = s->work;
        anyShort = true;
    }
    // Short windows: window by window, with the side information row of the window's group;
    // both channels of a window before the next (correlated noise pairs them).
    const int one[8] = {1};
    for (int w = 0; w < 8 && anyShort && err.empty(); ++w) {
        int row[2] = {0, 0};
        for (int i = 0; i < n; ++i) {
            const AACIcsInfo& ics = both[i]->ics;
            for (int g = 0, end = 0; g < ics.numWinGrp; ++g)
                if (w >= end && w < (end += ics.lenWinGrp[g])) row[i] = g * ics.maxSfb;
        }
        for (int i = 0; i < n && err.empty(); ++i) {
            Stream* s = both[i];
            if (s->isShort() && s->uses(kNoiseBook))
                err = noise(s, i, s->x + 128 * w, s->cb + row[i], s->sf + row[i], 1, one, 128);
        }
        if (err.empty() && intensity && r->isShort()) {
            const StatusCode st = okvsDecodeIsStereo_AAC_32s(l->x + 128 * w, r->x + 128 * w, r->sf + row[1],
                                                             r->cb + row[1], 1, one, r->maxSfb(), rate, 128);
            if (st < 0) err = failed("okvsDecodeIsStereo_AAC_32s", st);
        }
    }
    return err;
}

// Long-term prediction (output channels of LTP streams), then TNS: the library's, or the
// decoder's own for a long window with a filter above order 12.
std::string AacFrameDecoder::temporalTools(Stream* s) {
    const int rate = cfg_.rateIndex;
    // Filter lengths beyond the band count reach down to the lowest band.
    int length[8], filters = 0;
    for (int w = 0; w < s->ci.numWindows; ++w) filters += s->ci.tnsNFilt[w];
    for (int f = 0; f < 8; ++f) length[f] = f < filters ? std::min(s->ci.tnsLength[f], s->ci.numSwb) : 0;
    const TnsSide tns{s->ci.tnsNFilt, length, s->ci.tnsOrder, s->ci.tnsCoefRes, s->ci.tnsDirection, s->tnsCoef,
                      s->maxSfb()};
    if (!ltp_.empty() && s->out >= 0) {
        const char* what = "";
        const StatusCode st = ltp_[size_t(s->out)].predict(s->x, s->ltp, s->ics, ch_[size_t(s->out)].prevShape,
                                                           s->ci.tnsDataPresent ? &tns : nullptr, rate, &what);
        if (st < 0) return failed(what, st);
    }
    if (!s->ci.tnsDataPresent) return "";
    if (!s->isShort() && tnsAboveOrder12(tns)) {
        tnsLongWindow(s->x, tns, rate);
        return "";
    }
    const StatusCode st = okvsDecodeTNS_AAC_32s_I(s->x, s->ci.tnsNFilt, length, s->ci.tnsOrder, s->ci.tnsCoefRes,
                                                  s->tnsCoef, s->ci.tnsDirection, s->maxSfb(), 1, rate, s->ci.winLen);
    return st < 0 ? failed("okvsDecodeTNS_AAC_32s_I", st) : "";
}

template <class F>
void AacFrameDecoder::forEachCoupling(int out, bool independent, int domain, F f) {
    for (int t = 0; cce_ && t < kCouplingTags; ++t) {
        Coupling& k = cce_[t];
        if (!k.active || k.h.independent != independent || (!independent && k.h.domain != domain)) continue;
        for (int i = 0; i < k.h.numTargets; ++i) {
            const CouplingHeader::Target& target = k.h.targets[i];
            const int type = target.pair ? kCpe : kSce;
            const Placed* e = std::find_if(placed_, placed_ + numPlaced_,
                                           [&](const Placed& x) { return x.type == type && x.tag == target.tag; });
            if (e == placed_ + numPlaced_) continue;
            int list[2];
            k.h.targetLists(i, list);
            for (int c = 0; c < 2; ++c)
                if (e->out[c] == out && list[c] >= 0) f(k, list[c]);
        }
    }
}

// Dependent coupling before TNS (and LTP), LTP and TNS, dependent coupling after TNS, then the
// filterbank with independent coupling.
std::string AacFrameDecoder::finishChannels() {
    for (size_t c = 0; c < ch_.size(); ++c) {
        if (!present_[c]) continue;
        Stream* s = &streams_[c];
        auto couple = [&](Coupling& k, int list) {
            coupleSpectrum(s->x, k.s.x, k.gains, list, k.s.ics, k.s.cb, cfg_.rateIndex);
        };
        forEachCoupling(int(c), false, 0, couple);
        if (std::string err = temporalTools(s); !err.empty()) return err;
        forEachCoupling(int(c), false, 1, couple);
        if (std::string err = synthesise(s, int(c)); !err.empty()) return err;
    }
    return "";
}

std::string AacFrameDecoder::synthesise(Stream* s, int out) {
    Channel& c = ch_[size_t(out)];
    if (!ltp_.empty()) ltp_[size_t(out)].update(s->x, s->ics, c.prevShape);
    bool fine = false;
    forEachCoupling(out, true, 0, [&](Coupling&, int) { fine = true; });
    const int bits = fine ? fineBits(s->x) : 0;
    const StatusCode st = fineFilterbank(s->x, c.pcm, c.overlap, &c.bits, bits, s->ics, &c.prevShape);
    if (st < 0) return failed("okvsMDCTInv_AAC_32s16s", st);
    if (!fine) return "";
    // The transform leaves its unsaturated output in the spectrum array; the coupled elements'
    // outputs are added to it at its scale.
    int64_t sum[1024];
    for (int n = 0; n < 1024; ++n) sum[n] = s->x[n];
    forEachCoupling(out, true, 0, [&](Coupling& k, int list) {
        const CouplingGain g = k.gains.common(list);
        const CouplingGain scaled{g.eighths + 8 * (k.bits - bits), g.negative};
        const Okv32s* t = k.time();
        for (int n = 0; n < 1024; ++n) sum[n] += applyCouplingGain(t[n], scaled);
    });
    // The transform rounded once already: halves go to even, or the second rounding would bias
    // the output.
    const int64_t half = bits ? int64_t(1) << (bits - 1) : 0, mask = (int64_t(1) << bits) - 1;
    for (int n = 0; n < 1024; ++n) {
        const int64_t low = sum[n] & mask;
        const int64_t v = (sum[n] >> bits) + (bits && (low > half || (low == half && ((sum[n] >> bits) & 1))));
        c.pcm[n] = Okv16s(v > 32767 ? 32767 : v < -32768 ? -32768 : v);
    }
    return "";
}

// A coupling channel element: its header, its channel stream (decoded through TNS, with a Main
// predictor of its own), its gain lists; under independent switching its filterbank output.
std::string AacFrameDecoder::decodeCoupling(const uint8_t** p, int* off, const uint8_t* end) {
    BitCursor bc{*p, *off, end};
    CouplingHeader h;
    if (!h.read(&bc)) return "a coupling element runs past the end of the frame";
    if (!cce_) cce_ = std::make_unique<Coupling[]>(kCouplingTags);  // once: most streams have none
    Coupling& k = cce_[h.tag];
    if (k.active) return "two coupling elements with one tag in a block";
    k.h = h;
    Stream* s = &k.s;
    s->out = -1;
    s->pred = layout_.channels + h.tag;
    AACMainHeader mh{};
    const uint8_t* q = bc.p;
    int o = bc.off;
    std::string err = readStream(&q, &o, s, false, &mh, false);
    if (err.empty()) err = spectralTools(s, nullptr, nullptr);
    if (err.empty()) err = temporalTools(s);
    if (!err.empty()) return err;
    if (pastEnd(q, o, end) || !k.gains.read(h, &q, &o, end, sfSpec_, s->cb, s->ics.numWinGrp, s->maxSfb()))
        return "a coupling element runs past the end of the frame";
    if (h.independent) {
        const StatusCode st = fineFilterbank(s->x, k.pcm, k.overlap, &k.bits, fineBits(s->x), s->ics, &k.prevShape);
        if (st < 0) return failed("okvsMDCTInv_AAC_32s16s", st);
    }
    k.active = true;
    *p = q, *off = o;
    return "";
}
