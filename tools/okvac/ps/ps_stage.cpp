#include "ps_stage.h"

#include "sbr/sbr_decoder.h"

bool PsStage::present(const SbrElement& e) { return e.haveFrame() && e.psBits() > 0; }

bool PsStage::run(const SbrElement* e, SbrChannel& mono, float* left, float* right) {
    bool have = false;
    if (e && present(*e)) {
        const int bits = e->psBits();
        BitCursor bc{e->psData(), e->psBitOffset(), e->psData() + (e->psBitOffset() + bits + 7) / 8};
        have = reader_.read(&bc, bits, &frame_);
    }
    // The matrix rows are contiguous: row 0 starts the mono input with its look-ahead rows,
    // and is overwritten by the left channel.
    if (dec_.process(have ? &frame_ : nullptr, mono.matrix(0), mono.matrix(0), right_.matrix(0)) != okvOk) return false;
    return mono.synthesise(left) && right_.synthesise(right);
}
