// Training and test material for okvac vq: weighted subvectors cut from flattened
// MDCT spectra of audio, or drawn from a fixed Gaussian mixture.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace okvac::vq {

// Subvectors of dim floats, one after another, with a positive weight per element.
struct Dataset {
    int dim = 0;
    std::vector<float> x, w;
    size_t size() const { return dim ? x.size() / size_t(dim) : 0; }
    // Subvectors [from, to) as a new set.
    Dataset slice(size_t from, size_t to) const;
};

// Mono samples in [-1, 1] of a 16-bit PCM WAV file; false with a reason on failure.
bool readWav(const char* name, std::vector<float>* mono, std::string* error);
// The built-in MP3 sample decoded and mixed to mono.
std::vector<float> builtInSample();

// MDCT frames of 256 coefficients (sine window, hop 256), each divided by the RMS of
// its bands of 16 coefficients; weights grow with the band's level (its RMS^0.3, mean 1
// per frame). A frame of coefficient k is cut into 256/dim subvectors taking every
// (256/dim)-th coefficient. Silent frames are left out. dim must divide 256.
Dataset spectra(const std::vector<float>& mono, int dim);

// n subvectors from 16 fixed Gaussian clusters in dim dimensions, each drawn with a
// random overall sign, weights uniform in [0.5, 1.5]; the same for every call.
Dataset gaussianMixture(size_t n, int dim);

}  // namespace okvac::vq
