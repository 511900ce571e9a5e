// Conjugate codebook pairs for okvac vq: training by alternation over the library's
// combined search, quantisation by each search strategy, and their file format.
#pragma once

#include <string>
#include <vector>

#include "okvac.h"
#include "vq/vq_data.h"

namespace okvac::vq {

// Chosen codevector and 0/1 sign flag per subvector, for codebooks 0 and 1.
struct Choice {
    std::vector<int> index[2], flag[2];
};

class CodeBookPair {
public:
    CodeBookPair(int size, int dim);
    ~CodeBookPair();
    CodeBookPair(const CodeBookPair&) = delete;
    CodeBookPair& operator=(const CodeBookPair&) = delete;

    int size() const { return size_; }
    int dim() const { return dim_; }
    bool ok() const { return book_[0] && book_[1]; }

    // Starts from training subvectors picked by a fixed generator, then alternates
    // `iterations` times: assign with IndexSelect (polarity on), then move every
    // codevector of one codebook, the other held fixed, to the weighted mean that
    // minimises the assigned subvectors' error.
    void train(const Dataset& d, int nCand, int iterations);
    // IndexSelect with polarity on.
    Choice combined(const Dataset& d, int nCand);
    // PreliminarySelect on each codebook, then MainSelect.
    Choice twoStep(const Dataset& d, int nCand);
    // Every pair with every sign combination.
    Choice exhaustive(const Dataset& d) const;
    // Uniform indices and flags from a fixed generator.
    Choice random(const Dataset& d) const;
    // Reconstruction of a choice (flags turned into multipliers).
    std::vector<float> reconstruct(const Choice& c, size_t n);

    bool save(const char* name) const;
    // Reads the tables of a pair written by save(), with its size and dimension.
    static bool load(const char* name, std::vector<float> table[2], int* size, int* dim, std::string* error);
    void set(const std::vector<float> table[2]);

private:
    void rebuild();
    int size_, dim_;
    std::vector<float> table_[2];
    VQCodeBook* book_[2] = {nullptr, nullptr};
};

// 10 log10 (sum w x^2 / sum w (x - y)^2).
double weightedSnr(const Dataset& d, const std::vector<float>& y);

}  // namespace okvac::vq
