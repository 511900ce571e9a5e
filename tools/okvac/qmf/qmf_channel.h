// One channel through the library's float QMF banks, a frame of 32 slots at a time: analysis
// into a subband matrix of 32 rows by 64 bands, optional work on the matrix, synthesis back.
// The analysis fills bands 0..31 (those from kx up are zero); the 64-band synthesis reads all
// 64, so a caller may fill the upper half (as SBR does) before synthesising.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "okvac.h"

class QmfChannel {
public:
    static constexpr int kSlots = 32;
    enum class Mode { Hq, Lp };  // complex or real (cosine-only) banks
    struct Config {
        Mode mode = Mode::Hq;
        bool doubleRate = false;  // 64-band synthesis instead of the downsampled one
        int kx = 32;              // bands kept by the analysis
        int hybrid = 0;           // 0, or 20 / 34: PS hybrid split and re-sum of the low bands
    };

    // Builds the banks; false (with the failing status in *status) when one cannot be built.
    bool init(const Config& cfg, StatusCode* status);
    // Analysis of kSlots * 32 samples into the matrix.
    StatusCode analyse(const float* pcm);
    // The hybrid split of the low bands summed back, the other bands delayed to match (hq only).
    StatusCode hybridRoundTrip();
    // Synthesis of the matrix into kSlots * (32 or 64) samples.
    StatusCode synthesise(float* pcm);

    // Matrix rows: complex (hq) or real (lp), 64 bands each.
    Okv32fc* row(int slot) { return &cplx_[size_t(64) * slot]; }
    float* realRow(int slot) { return &real_[size_t(64) * slot]; }
    // Samples by which the output lags the input, at the output rate.
    int delay() const;
    int outPerFrame() const { return kSlots * (cfg_.doubleRate ? 64 : 32); }

private:
    struct Bank {
        std::vector<uint8_t> mem, init, work;
        SBRQMFSpec_32f* spec = nullptr;
    };
    using GetSize = StatusCode (*)(int*, int*, int*);
    using Init = StatusCode (*)(SBRQMFSpec_32f**, Okv8u*, Okv8u*);
    static StatusCode build(Bank* b, GetSize getSize, Init init);

    Config cfg_;
    Bank ana_, syn_;
    std::vector<Okv32fc> cplx_;
    std::vector<float> real_;
    std::vector<Okv32fc> hybridHist_;  // per band: 12 samples of filter history or 6 of delay
    std::vector<float> hybridIn_, hybridOut_;
};
