#include "aac_stream_decoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "bit_cursor.h"
#include "element_bounds.h"

namespace {
constexpr long kMaxReports = 10;
}

AacStreamDecoder::AacStreamDecoder(std::vector<uint8_t> data, AacContainer kind, bool gapless, bool coreOnly,
                                   bool sbrLowPower)
    : in_(std::move(data)), data_(in_.data()), len_(in_.size()), kind_(kind), gapless_(gapless), coreOnly_(coreOnly),
      sbrLowPower_(sbrLowPower), adts_(data_, len_) {}

void AacStreamDecoder::load(const uint8_t* p, size_t n) {
    buf_.assign(p, p + n);
    buf_.resize(n + aacbounds::kGuardBytes, 0);
}

bool AacStreamDecoder::setup(std::string* why) {
    if (kind_ == AacContainer::kLatm) return *why = "LATM/LOAS streams are not supported", false;
    if (kind_ == AacContainer::kMp4) {
        if (!mp4ReadAacTrack(data_, len_, &track_, why)) return false;
        if (!parseAudioSpecificConfig(track_.config.data(), track_.config.size(), &cfg_, why)) return false;
        if (track_.objectTypeIndication != 0x40) {  // an MPEG-2 AAC track: its profile is in the type
            cfg_.mpeg2 = true;
            cfg_.objectType = track_.objectTypeIndication - 0x65;
        }
        if (gapless_) {
            // Counts in the track's units, converted to output samples once the output rate is known.
            trimScale_ = track_.timescale ? track_.timescale : cfg_.sampleRate;
            skip_ = track_.gapless.skip;
            remaining_ = track_.gapless.length;
        }
    } else if (kind_ == AacContainer::kAdif) {
        size_t start = 0;
        while (start + 4 <= len_ && std::memcmp(data_ + start, "ADIF", 4)) ++start;
        load(data_ + start, len_ - start);
        Okv8u* p = buf_.data();
        AACADIFHeader h;
        std::vector<AACPrgCfgElt> pces(16);
        const StatusCode st = okvsUnpackADIFHeader_AAC(&p, &h, pces.data(), 16);
        if (st < 0 || p > buf_.data() + (len_ - start)) return *why = "the ADIF header is damaged", false;
        cfg_.mpeg2 = true;
        cfg_.pce = pces[0];
        cfg_.hasPce = true;
        cfg_.objectType = cfg_.pce.profile + 1;
        cfg_.rateIndex = cfg_.pce.samplingRateIndex;
        cfg_.sampleRate = cfg_.rateIndex < 13 ? kAacRates[cfg_.rateIndex] : 0;
        pos_ = size_t(p - buf_.data());
    } else {
        AdtsScanner pre(data_, len_);
        const uint8_t* f;
        if (!pre.next(&f, &first_)) return *why = "no ADTS frame found", false;
        cfg_.mpeg2 = first_.id == 1;
        cfg_.objectType = first_.profile + 1;
        cfg_.rateIndex = first_.rateIndex;
        cfg_.sampleRate = kAacRates[first_.rateIndex];
        cfg_.channelConfig = first_.channelConfig;
        if (cfg_.unsupported().empty() && cfg_.channelConfig == 0) {
            // The layout comes from a program configuration element at the start of frame 0.
            load(f, first_.size);
            BitCursor bc{buf_.data() + first_.headerBytes, 0, buf_.data() + first_.size};
            if (bc.read(3) == kPce) {
                Okv8u* q = const_cast<Okv8u*>(bc.p);
                int off = bc.off;
                cfg_.hasPce = okvsDecodePrgCfgElt_AAC(&q, &off, &cfg_.pce) >= 0 && q < buf_.data() + first_.size;
            }
            if (!cfg_.hasPce) return *why = "channel configuration 0 without a program configuration element", false;
        }
    }
    if (std::string u = cfg_.unsupported(); !u.empty()) return *why = u, false;
    if (!cfg_.makeLayout()) return *why = "no channel layout (configuration " + std::to_string(cfg_.channelConfig) + ")", false;
    cfg_.prediction = prediction_;
    dec_.configure(cfg_, coreOnly_, sbrLowPower_);
    return true;
}

void AacStreamDecoder::startTrim() {
    if (!trimScale_) return;
    const int64_t rate = sampleRate();
    auto out = [&](int64_t v) { return v < 0 ? v : v * rate / trimScale_; };
    skip_ = out(skip_);
    remaining_ = out(remaining_);
    trimScale_ = 0;
}

std::string AacStreamDecoder::notes() const {
    return !dec_.sbrActive() && (cfg_.sbr || dec_.sawSbr()) ? "HE-AAC stream: only its AAC-LC core is decoded (at the core's rate)" : "";
}

void AacStreamDecoder::report(const std::string& what) {
    ++failed_;
    if (failed_ <= kMaxReports)
        std::fprintf(stderr, "okvac decode: frame %ld: %s; replaced by silence\n", frames_, what.c_str());
    else if (failed_ == kMaxReports + 1)
        std::fprintf(stderr, "okvac decode: further failing frames are not reported\n");
}

void AacStreamDecoder::sbrCheck() {
    const std::string& why = dec_.sbrProblem();
    if (why.empty()) return;
    if (++sbrReports_ <= kMaxReports)
        std::fprintf(stderr, "okvac decode: frame %ld: %s; the frame keeps its core only\n", frames_, why.c_str());
}

void AacStreamDecoder::silence(int blocks) {
    pcm_.assign(size_t(blocks) * size_t(dec_.blockLength()) * size_t(channels()), 0);
    pcmFrames_ = size_t(blocks) * size_t(dec_.blockLength());
    dec_.clearOverlap();
}

bool AacStreamDecoder::nextAdts() {
    const uint8_t* f;
    AdtsInfo info;
    bool truncated;
    if (!adts_.next(&f, &info, &truncated)) {
        if (truncated) std::fprintf(stderr, "okvac decode: the last frame is cut short and left out\n");
        return false;
    }
    pos_ = adts_.position();
    pcm_.resize(size_t(info.blocks) * 2048 * size_t(dec_.maxChannels()));
    if (info.id != first_.id || info.profile != first_.profile || info.rateIndex != first_.rateIndex ||
        info.channelConfig != first_.channelConfig) {
        silence(info.blocks);
        report("the stream's format changes");
        return true;
    }
    load(f, info.size);
    Okv8u* p = buf_.data();
    AACADTSFrameHeader h;
    okvsUnpackADTSFrameHeader_AAC(&p, &h);
    const bool crc = !h.protectionBit;
    if (crc) p += 2 * (info.blocks - 1);  // block positions after the header's CRC word
    const uint8_t* end = buf_.data() + info.size;
    const uint8_t* q = p;
    int off = 0;
    size_t at = 0;  // sample frames written
    for (int b = 0; b < info.blocks; ++b) {
        const std::string err = dec_.decodeBlock(&q, &off, end, pcm_.data() + at * size_t(channels()));
        at += size_t(dec_.blockLength());
        sbrCheck();
        if (!err.empty()) {
            at = size_t(info.blocks) * size_t(dec_.blockLength());
            std::fill(pcm_.begin() + std::ptrdiff_t(b) * dec_.blockLength() * channels(), pcm_.end(), int16_t(0));
            report(err);
            break;
        }
        if (crc && info.blocks > 1) q += 2;  // the block's CRC word
    }
    pcmFrames_ = at;
    return true;
}

bool AacStreamDecoder::nextAdif() {
    const uint8_t* end = buf_.data() + (buf_.size() - aacbounds::kGuardBytes);
    // Trailing zero bytes after the last block are padding, not a block.
    const uint8_t* q = buf_.data() + pos_;
    if (q >= end || std::all_of(q, end, [](uint8_t b) { return b == 0; })) return false;
    pcm_.resize(2048 * size_t(dec_.maxChannels()));
    int off = 0;
    const std::string err = dec_.decodeBlock(&q, &off, end, pcm_.data());
    pcmFrames_ = size_t(dec_.blockLength());
    sbrCheck();
    pos_ = size_t(q - buf_.data());
    if (!err.empty()) {
        std::fprintf(stderr, "okvac decode: block %ld: %s; an ADIF stream cannot resynchronise, decoding stops\n", frames_,
                     err.c_str());
        ++failed_;
        return false;
    }
    return true;
}

bool AacStreamDecoder::nextMp4() {
    if (au_ >= track_.sizes.size()) return false;
    const uint64_t off = track_.offsets[au_], size = track_.sizes[au_];
    ++au_;
    pcm_.resize(2048 * size_t(dec_.maxChannels()));
    pcmFrames_ = size_t(dec_.blockLength());
    if (off > len_ || size > len_ - off) {
        silence(1);
        report("the access unit lies outside the file");
        return true;
    }
    pos_ = size_t(off + size);
    load(data_ + off, size_t(size));
    const uint8_t* q = buf_.data();
    int bit = 0;
    const std::string err = dec_.decodeBlock(&q, &bit, buf_.data() + size, pcm_.data());
    pcmFrames_ = size_t(dec_.blockLength());
    sbrCheck();
    if (!err.empty()) report(err);
    return true;
}

bool AacStreamDecoder::next(const int16_t** pcm, size_t* frames) {
    while (!stopped_) {
        const bool got = kind_ == AacContainer::kMp4 ? nextMp4() : kind_ == AacContainer::kAdif ? nextAdif() : nextAdts();
        if (!got) {
            stopped_ = true;
            break;
        }
        ++frames_;
        startTrim();
        if (!sbrNoted_ && !notes().empty()) {
            sbrNoted_ = true;
            std::fprintf(stderr, "okvac decode: %s\n", notes().c_str());
        }
        // Gapless trimming: the encoder delay first, then everything past the programme's length.
        size_t first = 0, n = pcmFrames_;
        if (skip_ > 0) {
            first = size_t(std::min<int64_t>(skip_, int64_t(n)));
            skip_ -= int64_t(first);
            n -= first;
        }
        if (remaining_ >= 0) {
            n = size_t(std::min<int64_t>(remaining_, int64_t(n)));
            remaining_ -= int64_t(n);
            if (remaining_ == 0) stopped_ = true;
        }
        if (!n) continue;
        *pcm = pcm_.data() + first * size_t(channels());
        *frames = n;
        return true;
    }
    return false;
}
