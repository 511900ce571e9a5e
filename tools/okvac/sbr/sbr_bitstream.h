// Reading SBR extension payloads: header, grid, delta-coded envelopes and noise floors.
#pragma once
#include "aac/bit_cursor.h"
#include "okvac.h"
#include "sbr/sbr_frame.h"

// The ten Huffman tables, built once through the library's VLC decoder.
class SbrHuffman {
public:
    SbrHuffman();
    ~SbrHuffman();
    SbrHuffman(const SbrHuffman&) = delete;
    SbrHuffman& operator=(const SbrHuffman&) = delete;
    bool ok() const;
    // One code of table t (the order of sbrtab::kHuff) as a signed difference; false past the end.
    bool decode(BitCursor* bc, int t, int* value) const;

private:
    OkvsVLCDecodeSpec_32s* spec_[10] = {};
};

// Values carried from frame to frame for time-differential decoding.
struct SbrDeltaState {
    int env[64] = {};
    int freqRes = 1;
    int noise[5] = {};
};

void readHeader(BitCursor* bc, SbrHeader* h);
bool readGrid(BitCursor* bc, SbrGrid* g);
void readDtdf(BitCursor* bc, SbrChannelFrame* f);
void readInvf(BitCursor* bc, int nQ, SbrChannelFrame* f);
// Envelope and noise values of one channel; balance selects the coupled second channel's tables.
bool readEnvelope(BitCursor* bc, const SbrHuffman& hf, const SbrFreqTables& t, bool balance, SbrDeltaState* prev,
                  SbrChannelFrame* f);
bool readNoise(BitCursor* bc, const SbrHuffman& hf, const SbrFreqTables& t, bool balance, SbrDeltaState* prev,
               SbrChannelFrame* f);
void readSinusoids(BitCursor* bc, const SbrFreqTables& t, SbrChannelFrame* f);
