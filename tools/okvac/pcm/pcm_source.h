// What the decode command reads from any input format: interleaved 16-bit PCM, block by block.
#pragma once
#include <cstddef>
#include <cstdint>

class PcmSource {
public:
    virtual ~PcmSource() = default;
    // Next block of frames sample frames; false at the end of the stream or on a read error.
    virtual bool next(const int16_t** pcm, size_t* frames) = 0;
    // The output layout, fixed from the first block on.
    virtual int channels() const = 0;
    virtual int sampleRate() const = 0;
    virtual long frames() const = 0;        // coded frames met so far
    virtual long failedFrames() const = 0;  // of them, those replaced by silence
};
