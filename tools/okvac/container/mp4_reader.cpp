#include "mp4_reader.h"

#include <cstdlib>
#include <cstring>

#include "bytes.h"

namespace {

struct Box {
    uint32_t type;
    const uint8_t* body;
    size_t size;
};

constexpr uint32_t fourcc(const char (&s)[5]) { return uint32_t(s[0]) << 24 | s[1] << 16 | s[2] << 8 | s[3]; }

// Iterates over the boxes inside [p, p + n); stops at the first malformed header.
class Boxes {
public:
    Boxes(const uint8_t* p, size_t n) : p_(p), n_(n) {}
    bool next(Box* b) {
        if (n_ < 8) return false;
        uint64_t size = be32(p_);
        size_t head = 8;
        if (size == 1) {
            if (n_ < 16) return false;
            size = be64(p_ + 8);
            head = 16;
        } else if (size == 0) {
            size = n_;
        }
        if (size < head || size > n_) return false;
        *b = {be32(p_ + 4), p_ + head, size_t(size) - head};
        p_ += size;
        n_ -= size_t(size);
        return true;
    }

private:
    const uint8_t* p_;
    size_t n_;
};

bool find(const uint8_t* p, size_t n, uint32_t type, Box* out) {
    Boxes it(p, n);
    Box b;
    while (it.next(&b))
        if (b.type == type) return *out = b, true;
    return false;
}

// Follows a path of box types from a container body.
bool findPath(Box from, std::initializer_list<uint32_t> path, Box* out) {
    for (uint32_t t : path)
        if (!find(from.body, from.size, t, &from)) return false;
    return *out = from, true;
}

// Size field of an MPEG-4 descriptor: up to four bytes of 7 bits.
bool descriptor(const uint8_t*& p, const uint8_t* end, int* tag, size_t* size) {
    if (p >= end) return false;
    *tag = *p++;
    *size = 0;
    for (int i = 0; i < 4; ++i) {
        if (p >= end) return false;
        const uint8_t b = *p++;
        *size = *size << 7 | (b & 0x7F);
        if (!(b & 0x80)) return *size <= size_t(end - p);
    }
    return false;
}

// ES descriptor inside an esds box: object type and decoder-specific information.
bool parseEsds(const Box& esds, Mp4AacTrack* t) {
    if (esds.size < 4) return false;
    const uint8_t* p = esds.body + 4;
    const uint8_t* end = esds.body + esds.size;
    int tag;
    size_t n;
    if (!descriptor(p, end, &tag, &n) || tag != 3 || n < 3) return false;
    end = p + n;
    const uint8_t flags = p[2];
    p += 3;
    if (flags & 0x80) p += 2;
    if (flags & 0x40) p += 1 + (p < end ? *p : 0);
    if (flags & 0x20) p += 2;
    if (p >= end || !descriptor(p, end, &tag, &n) || tag != 4 || n < 13) return false;
    const uint8_t* dcdEnd = p + n;
    t->objectTypeIndication = p[0];
    p += 13;
    if (descriptor(p, dcdEnd, &tag, &n) && tag == 5) t->config.assign(p, p + n);
    return true;
}

bool isAac(int oti) { return oti == 0x40 || (oti >= 0x66 && oti <= 0x68); }

// The mp4a sample entry: fixed fields by version, then child boxes (esds, or esds in a wave box).
bool parseSampleEntry(const Box& mp4a, Mp4AacTrack* t) {
    if (mp4a.size < 28) return false;
    const int version = int(be16(mp4a.body + 8));
    const size_t fixed = 28 + (version == 1 ? 16 : version == 2 ? 36 : 0);
    if (mp4a.size < fixed) return false;
    const Box kids{mp4a.type, mp4a.body + fixed, mp4a.size - fixed};
    Box esds;
    if (!findPath(kids, {fourcc("esds")}, &esds) && !findPath(kids, {fourcc("wave"), fourcc("esds")}, &esds))
        return false;
    return parseEsds(esds, t);
}

uint32_t fullBoxVersion(const Box& b) { return b.size ? b.body[0] : 0; }

// Sample offsets and sizes from stsz, stsc and stco/co64.
bool parseSampleTable(const Box& stbl, Mp4AacTrack* t) {
    Box stsz, stsc, stco;
    const bool co64 = !find(stbl.body, stbl.size, fourcc("stco"), &stco);
    if (!find(stbl.body, stbl.size, fourcc("stsz"), &stsz) || !find(stbl.body, stbl.size, fourcc("stsc"), &stsc) ||
        (co64 && !find(stbl.body, stbl.size, fourcc("co64"), &stco)))
        return false;
    if (stsz.size < 12 || stsc.size < 8 || stco.size < 8) return false;
    const uint32_t fixedSize = be32(stsz.body + 4), count = be32(stsz.body + 8);
    if ((!fixedSize && (stsz.size - 12) / 4 < count) || count > (1u << 24)) return false;  // 2^24: over 100 hours
    const uint32_t chunks = be32(stco.body + 4), entries = be32(stsc.body + 4);
    if ((stco.size - 8) / (co64 ? 8 : 4) < chunks || (stsc.size - 8) / 12 < entries) return false;
    t->sizes.resize(count);
    t->offsets.resize(count);
    uint32_t s = 0;
    for (uint32_t e = 0; e < entries && s < count; ++e) {
        const uint8_t* en = stsc.body + 8 + 12 * size_t(e);
        const uint32_t first = be32(en), perChunk = be32(en + 4);
        const uint32_t last = e + 1 < entries ? be32(en + 12) : chunks + 1;
        if (first < 1 || last < first) return false;
        for (uint32_t c = first; c < last && c <= chunks && s < count; ++c) {
            uint64_t off = co64 ? be64(stco.body + 8 + 8 * size_t(c - 1)) : be32(stco.body + 8 + 4 * size_t(c - 1));
            for (uint32_t k = 0; k < perChunk && s < count; ++k, ++s) {
                t->sizes[s] = fixedSize ? fixedSize : be32(stsz.body + 12 + 4 * size_t(s));
                t->offsets[s] = off;
                off += t->sizes[s];
            }
        }
    }
    t->sizes.resize(s);
    t->offsets.resize(s);
    return true;
}

// Duration of the track in its own units: the sum of the sample durations (stts).
int64_t mediaDuration(const Box& stbl) {
    Box stts;
    if (!find(stbl.body, stbl.size, fourcc("stts"), &stts) || stts.size < 8) return -1;
    const uint32_t n = be32(stts.body + 4);
    if ((stts.size - 8) / 8 < n) return -1;
    uint64_t total = 0;
    for (uint32_t i = 0; i < n; ++i) {
        total += uint64_t(be32(stts.body + 8 + 8 * size_t(i))) * be32(stts.body + 12 + 8 * size_t(i));
        if (total > (uint64_t(1) << 48)) return -1;  // no real track is that long
    }
    return int64_t(total);
}

// Gapless trimming from the edit list: the first non-empty edit gives the start, the edits'
// durations the length. Lists that trim nothing are ignored so that iTunSMPB can apply. A
// length within one movie tick of the track's end (durations in a coarse movie timescale are
// rounded) is the track's end, which the sample durations give exactly.
bool parseEditList(const Box& trak, const Box& stbl, uint32_t movieScale, uint32_t mediaScale, Gapless* g) {
    Box elst;
    if (!findPath({0, trak.body, trak.size}, {fourcc("edts"), fourcc("elst")}, &elst) || elst.size < 8 ||
        !movieScale || !mediaScale)
        return false;
    const bool v1 = fullBoxVersion(elst) == 1;
    const size_t entrySize = v1 ? 20 : 12;
    const uint32_t n = be32(elst.body + 4);
    if ((elst.size - 8) / entrySize < n) return false;
    int64_t start = -1, length = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* e = elst.body + 8 + entrySize * i;
        const uint64_t dur = v1 ? be64(e) : be32(e);
        const int64_t mediaTime = v1 ? int64_t(be64(e + 8)) : int64_t(int32_t(be32(e + 4)));
        if (mediaTime < 0) continue;  // an empty edit
        if (start < 0) start = mediaTime;
        if (dur > (uint64_t(1) << 40)) return false;
        length += int64_t((dur * mediaScale + movieScale / 2) / movieScale);
    }
    if (start < 0) return false;
    const int64_t total = mediaDuration(stbl);
    if (total > start && std::abs(length - (total - start)) <= int64_t(mediaScale / movieScale) + 1) length = total - start;
    if (start == 0 && (length == 0 || length == total)) return false;
    g->skip = start;
    g->length = length > 0 ? length : -1;
    return true;
}

// An iTunSMPB comment anywhere under moov/udta/meta/ilst.
bool findITunSmpb(const Box& moov, Gapless* g) {
    Box meta;
    if (!findPath(moov, {fourcc("udta"), fourcc("meta")}, &meta)) return false;
    Box ilst;
    // meta is a full box in MP4 files, a plain container in QuickTime ones.
    if (!find(meta.body, meta.size, fourcc("ilst"), &ilst) &&
        (meta.size < 4 || !find(meta.body + 4, meta.size - 4, fourcc("ilst"), &ilst)))
        return false;
    Boxes items(ilst.body, ilst.size);
    Box item;
    while (items.next(&item)) {
        if (item.type != fourcc("----")) continue;
        Box name, data;
        if (!find(item.body, item.size, fourcc("name"), &name) || !find(item.body, item.size, fourcc("data"), &data))
            continue;
        if (name.size < 12 || std::memcmp(name.body + 4, "iTunSMPB", 8) || data.size < 8) continue;
        return parseITunSmpb(std::string(reinterpret_cast<const char*>(data.body + 8), data.size - 8), g);
    }
    return false;
}

}  // namespace

bool looksLikeMp4(const uint8_t* data, size_t len) {
    if (len < 12 || be32(data) < 8) return false;
    for (const char* k : {"ftyp", "moov", "mdat", "free", "skip", "wide", "pnot"})
        if (!std::memcmp(data + 4, k, 4)) return true;
    return false;
}

bool mp4ReadAacTrack(const uint8_t* data, size_t len, Mp4AacTrack* t, std::string* why) {
    Box moov;
    if (!find(data, len, fourcc("moov"), &moov)) return *why = "no movie box", false;
    Box mvhd;
    uint32_t movieScale = 0;
    if (find(moov.body, moov.size, fourcc("mvhd"), &mvhd) && mvhd.size >= 24)
        movieScale = be32(mvhd.body + (fullBoxVersion(mvhd) == 1 ? 20 : 12));
    Boxes traks(moov.body, moov.size);
    Box trak;
    bool sawAudio = false;
    while (traks.next(&trak)) {
        if (trak.type != fourcc("trak")) continue;
        Box hdlr, mdhd, stbl, stsd;
        if (!findPath(trak, {fourcc("mdia"), fourcc("hdlr")}, &hdlr) || hdlr.size < 12 ||
            be32(hdlr.body + 8) != fourcc("soun"))
            continue;
        sawAudio = true;
        if (!findPath(trak, {fourcc("mdia"), fourcc("mdhd")}, &mdhd) || mdhd.size < 24 ||
            !findPath(trak, {fourcc("mdia"), fourcc("minf"), fourcc("stbl")}, &stbl) ||
            !find(stbl.body, stbl.size, fourcc("stsd"), &stsd) || stsd.size < 8)
            continue;
        Box entry;
        if (!find(stsd.body + 8, stsd.size - 8, fourcc("mp4a"), &entry)) continue;
        Mp4AacTrack cand;
        if (!parseSampleEntry(entry, &cand) || !isAac(cand.objectTypeIndication)) continue;
        if (cand.config.empty()) return *why = "the AAC track has no decoder configuration", false;
        if (!parseSampleTable(stbl, &cand)) return *why = "the AAC track's sample table is damaged", false;
        const uint32_t mediaScale = be32(mdhd.body + (fullBoxVersion(mdhd) == 1 ? 20 : 12));
        cand.timescale = mediaScale;
        if (!parseEditList(trak, stbl, movieScale, mediaScale, &cand.gapless)) findITunSmpb(moov, &cand.gapless);
        *t = std::move(cand);
        return true;
    }
    *why = sawAudio ? "no AAC audio track" : "no audio track";
    return false;
}
