#include "ps_stage.h"

#include "sbr/sbr_decoder.h"

bool PsStage::present(const SbrElement& e) { return e.haveFrame() && e.psBits() > 0; }

void PsStage::read(const SbrElement& e) {
    if (!present(e)) return;
    const int bits = e.psBits();
    BitCursor bc{e.psData(), e.psBitOffset(), e.psData() + (e.psBitOffset() + bits + 7) / 8};
    have_ = reader_.read(&bc, bits, &frame_);
}

bool PsStage::run(SbrChannel& mono, float* left, float* right) {
    // The matrix rows are contiguous: row 0 starts the mono input with its look-ahead rows,
    // and is overwritten by the left channel.
    const StatusCode st = dec_.process(have_ ? &frame_ : nullptr, mono.matrix(0), mono.matrix(0), right_.matrix(0));
    have_ = false;
    return st == okvOk && mono.synthesise(left) && right_.synthesise(right);
}
