// Runs every TwinVQ search and the reconstruction on arbitrary float bit patterns,
// lengths, candidate counts, indices and flags; aborts when a call that succeeds
// writes an index outside its codebook or a flag other than 0 or 1.
//
// Input: length, count 0, count 1, nSubVec, nCand, a selector byte, nSubVec
// lengths, then 32-bit words for both tables, targets, weights, polarities and the
// candidate lists (zero once the input runs out).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_input.h"
#include "okvac.h"

namespace {

using Input = FuzzInput;

struct Book {
    std::vector<uint8_t> mem;
    VQCodeBook* p = nullptr;
    Book(Input& in, int length, int count) {
        std::vector<float> t(size_t(length) * size_t(count));
        for (float& v : t) v = in.f32();
        int size = 0;
        if (okvsVQCodeBookGetSize_32f(length, count, &size) != okvOk) abort();
        mem.resize(size_t(size));
        if (okvsVQCodeBookInit_32f(t.data(), &p, length, count, mem.data() + in.byte() % 64) != okvOk) abort();
    }
};

void expectValid(const int* idx, const int* flag, size_t n, int count) {
    for (size_t e = 0; e < n; ++e)
        if (idx[e] < 0 || idx[e] >= count || (flag[e] != 0 && flag[e] != 1)) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, size};
    const int length = in.byte() % 40 + 1, count[2] = {in.byte() % 64 + 1, in.byte() % 64 + 1};
    const int nSub = in.byte() % 6, nCand = in.byte() % 66 - 1, sel = in.byte();
    std::vector<int> len(size_t(nSub) + 1);
    size_t total = 0;
    for (int i = 0; i < nSub; ++i) {
        len[i] = int(in.byte() % unsigned(length + 3)) - 1;  // -1 and length + 1 are refused
        total += size_t(len[i] > 0 ? len[i] : 0);
    }
    Book b0(in, length, count[0]), b1(in, length, count[1]);
    VQCodeBook* books[2] = {b0.p, b1.p};
    std::vector<float> x(total + 1), w(total + 1), dst(total + 1);
    for (float& v : x) v = in.f32();
    for (float& v : w) v = in.f32();
    std::vector<int> pol[2] = {std::vector<int>(size_t(nSub) + 1), std::vector<int>(size_t(nSub) + 1)};
    for (auto& p : pol)
        for (int& v : p) v = int(in.byte() % 3);
    const int* pp[2] = {pol[0].data(), pol[1].data()};

    const size_t n = size_t(nSub) * size_t(nCand > 0 ? nCand : 0) + 1;
    std::vector<int> cand[2] = {std::vector<int>(n), std::vector<int>(n)}, flag[2] = {cand[0], cand[1]};
    std::vector<int> idx[2] = {std::vector<int>(size_t(nSub) + 1), std::vector<int>(size_t(nSub) + 1)}, sgn[2] = {idx[0], idx[1]};
    int* io[2] = {idx[0].data(), idx[1].data()};
    int* so[2] = {sgn[0].data(), sgn[1].data()};
    const int* ci[2] = {cand[0].data(), cand[1].data()};
    const int* cs[2] = {flag[0].data(), flag[1].data()};
    const size_t outs = size_t(nSub);

    // Two-step search; with sel & 1 the candidate lists come from the input instead.
    for (int s = 0; s < 2; ++s)
        if (okvsVQPreliminarySelect_32f(x.data(), w.data(), nSub, len.data(), cand[s].data(), flag[s].data(), nCand,
                                        pp[s], books[s]) == okvOk && nSub > 0)
            expectValid(cand[s].data(), flag[s].data(), n - 1, count[s]);
    if (sel & 1)
        for (int s = 0; s < 2; ++s)
            for (size_t e = 0; e < n; ++e) cand[s][e] = int(in.word() % 80) - 8, flag[s][e] = in.byte() % 3;
    if (okvsVQMainSelect_32f(x.data(), w.data(), len.data(), nSub, nCand, ci, cs, io, so, books, 2) == okvOk)
        for (int s = 0; s < 2; ++s) expectValid(io[s], so[s], outs, count[s]);
    if (okvsVQIndexSelect_32f(x.data(), w.data(), nSub, len.data(), nCand, pp, io, so, books, sel & 2 ? 2 : sel % 4,
                              0) == okvOk)
        for (int s = 0; s < 2; ++s) expectValid(io[s], so[s], outs, count[s]);

    // Reconstruction of the last choice (flags as multipliers), or of raw entries.
    for (int s = 0; s < 2; ++s)
        for (size_t i = 0; i < outs; ++i) sgn[s][i] = sel & 4 ? int(in.byte() % 4) - 2 : 1 - 2 * sgn[s][i];
    const int* ri[2] = {idx[0].data(), idx[1].data()};
    const int* rs[2] = {sgn[0].data(), sgn[1].data()};
    okvsVQReconstruction_32f(ri, rs, len.data(), nSub, 1 + (sel >> 3) % 2, dst.data(), books);
    return 0;
}
