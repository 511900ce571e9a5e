// Helpers for the AAC tests and benchmarks: the standard codebooks and band tables read from
// the shared text (independent of the library's generated tables), a walker that parses whole
// raw data blocks through the exports, and buffers that end at an unreadable page.
#pragma once
#include <sys/mman.h>
#include <unistd.h>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "okvac.h"

namespace aactest {

inline std::string sharedDir() { return OKV_SHARED_DIR; }

inline std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// Data lines of a shared table file, split on blanks.
inline std::vector<std::vector<std::string>> tableRows(const std::string& name) {
    std::ifstream f(sharedDir() + "/tables/aac/" + name);
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(f, line);) {
        std::istringstream s(line);
        if (!line.empty() && line[0] != '#') rows.emplace_back(std::istream_iterator<std::string>(s), std::istream_iterator<std::string>());
    }
    return rows;
}

inline std::vector<int> numbersFrom(const std::vector<std::string>& row, size_t from) {
    std::vector<int> v;
    for (size_t k = from; k < row.size(); ++k) v.push_back(std::stoi(row[k]));
    return v;
}

struct Codebook {
    std::vector<std::string> code;            // by index
    std::vector<std::vector<int>> values;     // by index (spectral books)
    std::map<std::vector<int>, int> indexOf;  // tuple -> index
};

// Book 0 is the scalefactor code; 1..11 the spectral books.  Empty when the text is missing.
inline Codebook loadBook(int book) {
    char name[32];
    std::snprintf(name, sizeof name, book ? "codebook_%02d.txt" : "codebook_sf.txt", book);
    Codebook cb;
    for (const auto& r : tableRows(name)) {
        cb.code.push_back(r[2]);
        cb.indexOf[numbersFrom(r, 3)] = int(cb.values.size());
        cb.values.push_back(numbersFrom(r, 3));
    }
    return cb;
}

// swb_offset rows per sampling-rate index (long: 1024 window, short: 128 window).
inline std::vector<std::vector<int>> bandOffsets(bool shortWin) {
    std::vector<std::vector<int>> t;
    for (const auto& r : tableRows(shortWin ? "swb_offset_short.txt" : "swb_offset_long.txt")) t.push_back(numbersFrom(r, 3));
    return t;
}

// Room for n values of T and more whose end() is the start of an unreadable page: a read or
// write past a buffer placed to end there faults.
template <class T> class PageEnd {
public:
    explicit PageEnd(size_t n)
        : page_(size_t(sysconf(_SC_PAGESIZE))), size_((n * sizeof(T) / page_ + 2) * page_),
          base_(static_cast<char*>(mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0))) {
        mprotect(base_ + size_ - page_, page_, PROT_NONE);
    }
    ~PageEnd() { munmap(base_, size_); }
    T* end() const { return reinterpret_cast<T*>(base_ + size_ - page_); }

private:
    size_t page_, size_;
    char* base_;
};

// Records and output arrays of one channel decode.
struct ChannelOutputs {
    AACChanInfo ci{};
    AACIcsInfo ics{};
    AACMainHeader hdr{};
    Okv16s sf[120];
    Okv8u cb[120];
    Okv32s spec[1024];
    Okv8s tns[60];
};

// Parses raw data blocks element by element, with the LC exports or (mp4) the MPEG-4 ones.  Returns okvOk after an END
// element (cursor then byte-aligned), the first failing status otherwise; 1 for an element the
// walker does not handle (coupling channel).
class RawBlockWalker {
public:
    int sri = 4;
    bool mp4 = false;
    AACMainHeader hdr = {};
    int elements = 0, channels = 0;
    AACChanInfo ci[2] = {};
    AACIcsInfo ics[2] = {};
    AACChanPairElt cpe = {};
    Okv16s sf[2][120];
    Okv8u cb[2][120];
    Okv32s spec[2][1024];
    Okv8s tns[2][60];

    int block(Okv8u** pp, int* off) {
        for (;;) {
            const int id = int(bits(pp, off, 3));
            ++elements;
            StatusCode st = okvOk;
            int tag, n;
            Okv8u buf[512];
            AACPrgCfgElt pce;
            if (id == 0 || id == 3) {  // SCE, LFE
                bits(pp, off, 4);
                st = channel(pp, off, 0, 0);
                ++channels;
            } else if (id == 1) {
                bits(pp, off, 4);
                st = mp4 ? okvsDecodeChanPairElt_MP4_AAC(pp, off, &ics[0], &cpe, &hdr, 0, 2) : okvsDecodeChanPairElt_AAC(pp, off, &ics[0], &cpe, 0);
                if (st == okvOk) st = channel(pp, off, 0, cpe.commonWin);
                if (st == okvOk) st = channel(pp, off, 1, cpe.commonWin);
                channels += 2;
            } else if (id == 4) {
                st = okvsDecodeDatStrElt_AAC(pp, off, &tag, &n, buf);
            } else if (id == 5) {
                st = okvsDecodePrgCfgElt_AAC(pp, off, &pce);
            } else if (id == 6) {
                st = okvsDecodeFillElt_AAC(pp, off, &n, buf);
            } else {
                if (id == 7 && *off) ++*pp, *off = 0;
                return id == 7 ? okvOk : 1;
            }
            if (st != okvOk) return st;
        }
    }

private:
    static uint32_t bits(Okv8u** pp, int* off, int n) {
        uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            v = v << 1 | (((**pp) >> (7 - *off)) & 1);
            if (++*off == 8) ++*pp, *off = 0;
        }
        return v;
    }
    StatusCode channel(Okv8u** pp, int* off, int ch, int common) {
        ci[ch].samplingRateIndex = sri;
        ci[ch].predSfbMax = 0;
        ci[ch].pIcsInfo = &ics[common ? 0 : ch];
        if (mp4) return okvsNoiselessDecode_AAC(pp, off, &hdr, sf[ch], spec[ch], cb[ch], tns[ch], &ci[ch], 0, 0, common, 0, 2);
        return okvsNoiselessDecoder_LC_AAC(pp, off, common, &ci[ch], sf[ch], spec[ch], cb[ch], tns[ch]);
    }
};

// One ADTS frame: the header at data[pos], and the frame bytes copied with look-ahead padding.
struct AdtsFrame {
    AACADTSFrameHeader h{};
    std::vector<uint8_t> bytes;
    size_t headerBytes = 0;
};

// Splits an ADTS stream into frames; false at the first header that fails or does not fit.
inline bool nextAdtsFrame(const std::vector<uint8_t>& data, size_t& pos, AdtsFrame& f) {
    if (pos + 9 > data.size() || data[pos] != 0xFF || (data[pos + 1] & 0xF6) != 0xF0) return false;
    std::vector<uint8_t> head(data.begin() + long(pos), data.begin() + long(pos) + 9);
    head.resize(12, 0);
    Okv8u* p = head.data();
    if (okvsUnpackADTSFrameHeader_AAC(&p, &f.h) != okvOk) return false;
    f.headerBytes = size_t(p - head.data());
    if (f.h.frameLen < int(f.headerBytes) || pos + size_t(f.h.frameLen) > data.size()) return false;
    f.bytes.assign(data.begin() + long(pos), data.begin() + long(pos) + f.h.frameLen);
    f.bytes.resize(f.bytes.size() + 3, 0);  // the readers' look-ahead
    pos += size_t(f.h.frameLen);
    return true;
}

}  // namespace aactest
