// Finding ADTS frames in a byte stream: tags and junk are passed over, and the scanner
// (re)synchronises only on a header followed by a second one of the same stream.
#pragma once
#include <cstddef>
#include <cstdint>

struct AdtsInfo {
    int id;              // 1 MPEG-2, 0 MPEG-4
    int profile;         // object type - 1
    int rateIndex;       // 0..12
    int channelConfig;
    int headerBytes;     // 7, or 9 with a CRC word
    int blocks;          // raw data blocks in the frame, 1..4
    size_t size;         // frame bytes, header included
};

// Parses a header at p (7 readable bytes); false unless it is a plausible ADTS header.
bool adtsParseHeader(const uint8_t* p, AdtsInfo* info);

class AdtsScanner {
public:
    AdtsScanner(const uint8_t* data, size_t len);
    // Next frame. A frame cut short by the end of the data is not returned: *truncated is set.
    bool next(const uint8_t** frame, AdtsInfo* info, bool* truncated = nullptr);
    // Bytes passed over since the previous frame (junk, not tags).
    size_t skipped() const { return skipped_; }
    size_t position() const { return pos_; }

private:
    bool followedBy(const AdtsInfo& first, size_t end, int count) const;

    const uint8_t* data_;
    size_t len_, pos_ = 0, skipped_ = 0;
    bool synced_ = false;
    AdtsInfo last_{};
};
