#include "channel_layout.h"

#include <algorithm>

namespace {

// WAVE speaker positions.
enum : uint32_t {
    FL = 0x1, FR = 0x2, FC = 0x4, LFE = 0x8, BL = 0x10, BR = 0x20, BC = 0x100, SL = 0x200, SR = 0x400,
};

struct Pending {
    int type, tag;
    uint32_t pos[2];  // 0 = no position
};

// Positions of one row of elements (front, side or back), from the centre outwards: an odd
// channel count puts a single element at the centre (front) or at the back centre (back);
// pairs take the row's pair positions in turn. A second front pair (the "outside front"
// speakers of the 8-channel configuration) sits at the sides, as in the common 7.1 layout.
// Streams that code a 5.1 programme with its surround pair in the front row (a centre, two
// pairs and an LFE by program configuration) so play as 5.1 with side surrounds, the first
// pair at FL/FR; the alternative reading, the first pair at FLC/FRC and the second at FL/FR
// (one peer decoder's), would put the surrounds in front.
void place(const int* isCpe, const int* tags, int n, int row, std::vector<Pending>* out) {
    static const uint32_t kPairs[3][2][2] = {{{FL, FR}, {SL, SR}}, {{SL, SR}, {0, 0}}, {{BL, BR}, {0, 0}}};
    int channels = 0;
    for (int i = 0; i < n; ++i) channels += isCpe[i] ? 2 : 1;
    int pairs = 0;
    bool centre = false;
    for (int i = 0; i < n; ++i) {
        Pending e{isCpe[i] ? kCpe : kSce, tags ? tags[i] : -1, {0, 0}};
        if (!isCpe[i]) {
            if ((channels & 1) && !centre && row != 1) e.pos[0] = row == 0 ? FC : BC, centre = true;
        } else if (pairs < 2) {
            e.pos[0] = kPairs[row][pairs][0], e.pos[1] = kPairs[row][pairs][1];
            ++pairs;
        }
        out->push_back(e);
    }
}

// Output order: channels with a position by mask bit, then the others in element order.
void finish(const std::vector<Pending>& els, ChannelLayout* l) {
    std::vector<std::pair<uint64_t, int*>> order;
    l->slots.clear();
    l->slots.reserve(els.size());
    l->mask = 0;
    int seq = 0;
    for (const Pending& e : els) {
        l->slots.push_back({e.type, e.tag, {-1, -1}});
        for (int c = 0; c < (e.type == kCpe ? 2 : 1); ++c) {
            const uint32_t pos = (e.pos[c] & l->mask) ? 0 : e.pos[c];  // a position is used once
            l->mask |= pos;
            order.push_back({pos ? pos : (uint64_t(1) << 32) + seq, nullptr});
            ++seq;
        }
    }
    for (size_t s = 0, k = 0; s < l->slots.size(); ++s)
        for (int c = 0; c < (l->slots[s].type == kCpe ? 2 : 1); ++c) order[k++].second = &l->slots[s].out[c];
    std::stable_sort(order.begin(), order.end(), [](auto& a, auto& b) { return a.first < b.first; });
    for (size_t i = 0; i < order.size(); ++i) *order[i].second = int(i);
    l->channels = int(order.size());
}

}  // namespace

bool ChannelLayout::fromConfig(int cfg) {
    if (cfg < 1 || cfg > 7) return false;
    // Front row, back row and LFE count of each configuration.
    static const int kFront[8][3] = {{}, {0}, {1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1, 1}};
    static const int kFrontN[8] = {0, 1, 1, 2, 2, 2, 2, 3};
    static const int kBack[8][1] = {{}, {}, {}, {}, {0}, {1}, {1}, {1}};
    static const int kBackN[8] = {0, 0, 0, 0, 1, 1, 1, 1};
    std::vector<Pending> els;
    place(kFront[cfg], nullptr, kFrontN[cfg], 0, &els);
    place(kBack[cfg], nullptr, kBackN[cfg], 2, &els);
    if (cfg >= 6) els.push_back({kLfe, -1, {LFE, 0}});
    finish(els, this);
    return true;
}

void ChannelLayout::fromPce(const AACPrgCfgElt& p) {
    std::vector<Pending> els;
    place(p.frontIsCpe, p.frontTagSel, p.numFrontElt, 0, &els);
    place(p.sideIsCpe, p.sideTagSel, p.numSideElt, 1, &els);
    place(p.backIsCpe, p.backTagSel, p.numBackElt, 2, &els);
    for (int i = 0; i < p.numLfeElt; ++i) els.push_back({kLfe, p.lfeTagSel[i], {i == 0 ? uint32_t(LFE) : 0u, 0}});
    finish(els, this);
}
