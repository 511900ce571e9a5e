// okvac vq: trains (or loads) a conjugate codebook pair on spectra and compares the
// library's searches with the exhaustive one and with random indices.
#include <chrono>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "command.h"
#include "vq/vq_data.h"
#include "vq/vq_train.h"

namespace {

using namespace okvac::vq;

constexpr size_t kMaxSubVecs = 8192;  // keeps the exhaustive search to seconds
constexpr int kIterations = 12;

void help(std::FILE* out) {
    std::fprintf(out,
                 "usage: okvac vq [--size 64] [--dim 16] [--cand 8] [--save F | --load F] [--synthetic N] [IN.wav]\n\n"
                 "Takes 512-point MDCT spectra of IN (16-bit PCM WAV, mixed to mono; default: the built-in MP3\n"
                 "sample, decoded), flattens them by the RMS of bands of 16 coefficients, weights them by the band\n"
                 "level and cuts interleaved subvectors of --dim elements (a power of two up to 256). The first half\n"
                 "trains two codebooks of --size codevectors (%d rounds of assignment by the combined search and\n"
                 "weighted-mean updates), or --load reads a pair saved by --save. The second half is quantised by\n"
                 "the two-step search (pre-selection of --cand candidates per codebook, then the joint choice), by\n"
                 "the combined search, by the exhaustive search over all pairs and signs, and by random indices;\n"
                 "each line gives the weighted SNR 10 log10(sum w x^2 / sum w (x - y)^2) of the reconstruction.\n"
                 "--synthetic N replaces the audio by N subvectors from a fixed Gaussian mixture.\n"
                 "At most %zu subvectors are used.\n",
                 kIterations, kMaxSubVecs);
}

bool intArg(const char* v, int lo, int hi, int* out) {
    char* end;
    const long n = std::strtol(v, &end, 10);
    if (*end || n < lo || n > hi) return false;
    *out = int(n);
    return true;
}

double seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

int run(int argc, char** argv) {
    int size = 64, dim = 16, cand = 8, synthetic = 0;
    const char *save = nullptr, *load = nullptr, *in = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        bool ok = true;
        if (a == "--size" && hasValue) ok = intArg(argv[++i], 1, 4096, &size);
        else if (a == "--dim" && hasValue) ok = intArg(argv[++i], 1, 256, &dim);
        else if (a == "--cand" && hasValue) ok = intArg(argv[++i], 1, 4096, &cand);
        else if (a == "--synthetic" && hasValue) ok = intArg(argv[++i], 2, int(kMaxSubVecs), &synthetic);
        else if (a == "--save" && hasValue) save = argv[++i];
        else if (a == "--load" && hasValue) load = argv[++i];
        else if (a[0] != '-' && !in) in = argv[i];
        else ok = false;
        if (!ok) {
            help(stderr);
            return 2;
        }
    }
    if (save && load) {
        std::fprintf(stderr, "okvac vq: --save and --load exclude each other\n");
        return 2;
    }
    std::vector<float> table[2];
    std::string error;
    if (load && !CodeBookPair::load(load, table, &size, &dim, &error)) {
        std::fprintf(stderr, "okvac vq: %s: %s\n", load, error.c_str());
        return 1;
    }
    if (!synthetic && (dim & (dim - 1))) {
        std::fprintf(stderr, "okvac vq: the dimension of spectral subvectors must be a power of two\n");
        return 2;
    }
    if (cand > size) cand = size;

    Dataset all;
    if (synthetic) {
        all = gaussianMixture(size_t(synthetic), dim);
    } else {
        std::vector<float> mono;
        if (in && !readWav(in, &mono, &error)) {
            std::fprintf(stderr, "okvac vq: %s: %s\n", in, error.c_str());
            return 1;
        }
        all = spectra(in ? mono : builtInSample(), dim);
    }
    const size_t n = std::min(all.size(), kMaxSubVecs);
    if (n < 2) {
        std::fprintf(stderr, "okvac vq: too little material (%zu subvectors)\n", n);
        return 1;
    }
    const Dataset train = all.slice(0, n / 2), test = all.slice(n / 2, n);

    CodeBookPair books(size, dim);
    if (!books.ok()) {
        std::fprintf(stderr, "okvac vq: cannot build codebooks of %d x %d\n", size, dim);
        return 1;
    }
    if (load) books.set(table);
    else books.train(train, cand, kIterations);
    if (save && !books.save(save)) {
        std::fprintf(stderr, "okvac vq: cannot write %s\n", save);
        return 1;
    }

    using clock = std::chrono::steady_clock;
    const size_t m = test.size();
    const auto t0 = clock::now();
    const Choice two = books.twoStep(test, cand);
    const auto t1 = clock::now();
    const Choice full = books.exhaustive(test);
    const auto t2 = clock::now();
    std::printf("%zu subvectors of %d (%s %zu, test %zu), 2 codebooks of %d, %.0f bits per subvector\n", n, dim,
                load ? "loaded codebooks, unused" : "training", train.size(), m, size, 2 * std::log2(size) + 2);
    std::printf("two-step   %8.2f dB  %8.2f us per subvector (%d candidates)\n",
                weightedSnr(test, books.reconstruct(two, m)), 1e6 * seconds(t1 - t0) / double(m), cand);
    std::printf("combined   %8.2f dB\n", weightedSnr(test, books.reconstruct(books.combined(test, cand), m)));
    std::printf("exhaustive %8.2f dB  %8.2f us per subvector\n", weightedSnr(test, books.reconstruct(full, m)),
                1e6 * seconds(t2 - t1) / double(m));
    std::printf("random     %8.2f dB\n", weightedSnr(test, books.reconstruct(books.random(test), m)));
    return 0;
}

}  // namespace

OKVAC_COMMAND(vq, "train TwinVQ codebooks on spectra and compare the searches", help, run);
