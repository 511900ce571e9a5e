// The AAC long-term prediction exports on arbitrary records: an LTP data record taken byte for
// byte from the input (any lags, flags and coefficient), sequence, shapes and rate, then a
// history and a spectrum. Runs update, prediction, forward transform and reconstruction as a
// decoder chains them, twice, so the second round predicts from an updated history.
//
// Input: [0..3] sequence, shape, previous shape, rate; then the AACLtpData record; then
// 32-bit history samples and spectral values (zeros once the input is used up).
#include <cstring>
#include <vector>

#include "fuzz_input.h"
#include "okvac.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in{data, size};
    const int seq = in.byte() % 5;  // 4 is refused
    const int shape = in.byte() % 3;
    const int prev = in.byte() & 1;
    const int rate = in.byte() % 13;
    AACLtpData ltp;
    uint8_t raw[sizeof ltp];
    for (uint8_t& b : raw) b = in.byte();
    std::memcpy(&ltp, raw, sizeof ltp);
    std::vector<Okv32s> history(3072), spec(1024), pred(2048), predSpec(1024), work(6144);
    for (auto& v : history) v = Okv32s(in.word());
    const int scale = in.byte() % 32;  // spectra from full scale down
    for (auto& v : spec) v = Okv32s(in.word()) >> scale;
    for (int round = 0; round < 2; ++round) {
        okvsLtpUpdate_AAC_32s(spec.data(), history.data(), seq, shape, prev, work.data());
        if (okvsLongTermPredict_AAC_32s(history.data(), pred.data(), &ltp, seq) != okvOk) continue;
        const int blocks = seq == 2 ? 8 : 1;
        for (int b = 0; b < blocks; ++b)
            okvsMDCTFwd_AAC_32s(pred.data() + 256 * b, predSpec.data() + 128 * b, pred.data(), seq, shape % 2,
                                b ? shape % 2 : prev, work.data());
        okvsLongTermReconstruct_AAC_32s(predSpec.data(), spec.data(), seq == 2 ? ltp.ltpShortUsed : ltp.ltpLongUsed, seq,
                                        rate);
    }
    return 0;
}
