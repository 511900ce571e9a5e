// The SBR time grid reader over every frame class and field combination, written with an
// independent bit writer: borders, noise borders and the transient envelope.
#include <gtest/gtest.h>

#include <vector>

#include "sbr/sbr_bitstream.cpp"

namespace {

struct Writer {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(16, 0);
    int pos = 0;
    void put(uint32_t v, int n) {
        for (int i = n - 1; i >= 0; --i, ++pos)
            if (v >> i & 1) bytes[size_t(pos / 8)] |= uint8_t(0x80 >> (pos % 8));
    }
};

int pointerBits(int numEnv) {
    int b = 0;
    while ((1 << b) < numEnv + 1) ++b;
    return b;
}

TEST(SbrGrid, EveryVariableGridReadsBack) {
    int accepted = 0;
    for (int cls = 1; cls < 4; ++cls)
        for (int bord = 0; bord < 16; ++bord)        // var_bord_0 and var_bord_1, 2 bits each
            for (int rels = 0; rels < 16; ++rels)    // num_rel_0 and num_rel_1
                for (int relBits = 0; relBits < 64; relBits += 7)
                    for (int pointer = 0; pointer < 8; ++pointer) {
                        const int b0 = cls == SbrGrid::kFixVar ? 0 : bord & 3;
                        const int b1 = cls == SbrGrid::kVarFix ? 0 : bord >> 2;
                        const int n0 = cls == SbrGrid::kFixVar ? 0 : rels & 3;
                        const int n1 = cls == SbrGrid::kVarFix ? 0 : rels >> 2;
                        const int numEnv = n0 + n1 + 1;
                        if (numEnv > 5 || pointer >= (1 << pointerBits(numEnv))) continue;
                        Writer w;
                        w.put(uint32_t(cls), 2);
                        if (cls != SbrGrid::kFixVar) w.put(uint32_t(b0), 2);
                        if (cls != SbrGrid::kVarFix) w.put(uint32_t(b1), 2);
                        if (cls != SbrGrid::kFixVar) w.put(uint32_t(n0), 2);
                        if (cls != SbrGrid::kVarFix) w.put(uint32_t(n1), 2);
                        int rel[6];
                        for (int i = 0; i < n0 + n1; ++i) rel[i] = (relBits >> i) & 3, w.put(uint32_t(rel[i]), 2);
                        w.put(uint32_t(pointer), pointerBits(numEnv));
                        w.put(0x15, numEnv);  // alternating frequency resolutions
                        BitCursor bc{w.bytes.data(), 0, w.bytes.data() + w.bytes.size()};
                        SbrGrid g;
                        const bool ok = readGrid(&bc, &g);
                        ASSERT_EQ((bc.p - w.bytes.data()) * 8 + bc.off, w.pos);
                        // Expected borders: leading ones forward from b0, trailing ones back from 16 + b1.
                        int t[6];
                        t[0] = b0, t[numEnv] = 16 + b1;
                        for (int i = 1; i <= n0; ++i) t[i] = t[i - 1] + 2 * rel[i - 1] + 2;
                        for (int i = 0; i < n1; ++i) t[numEnv - 1 - i] = t[numEnv - i] - 2 * rel[n0 + i] - 2;
                        bool ascending = true;
                        for (int l = 0; l < numEnv; ++l) ascending &= t[l] < t[l + 1];
                        const int lA = pointer == 0 ? -1 : cls == SbrGrid::kVarFix ? pointer - 1 : numEnv + 1 - pointer;
                        const int middle = cls == SbrGrid::kVarFix
                                               ? (pointer == 0 ? 1 : pointer == 1 ? numEnv - 1 : pointer - 1)
                                               : (pointer > 1 ? numEnv + 1 - pointer : numEnv - 1);
                        const bool valid = ascending && pointer <= numEnv + 1 && lA <= numEnv &&
                                           (numEnv == 1 || (middle > 0 && middle < numEnv));
                        ASSERT_EQ(ok, valid) << cls << " " << bord << " " << rels << " " << relBits << " " << pointer;
                        if (!ok) continue;
                        ++accepted;
                        ASSERT_EQ(g.numEnv, numEnv);
                        for (int l = 0; l <= numEnv; ++l) ASSERT_EQ(g.tE[l], t[l]);
                        ASSERT_EQ(g.lA, lA);
                        ASSERT_EQ(g.numNoise, numEnv > 1 ? 2 : 1);
                        ASSERT_EQ(g.tQ[0], t[0]);
                        ASSERT_EQ(g.tQ[g.numNoise], t[numEnv]);
                        if (g.numNoise == 2) {
                            ASSERT_EQ(g.tQ[1], t[middle]);
                        }
                        // FIXVAR lists the resolutions from the last envelope back.
                        for (int l = 0; l < numEnv; ++l) {
                            const int bit = (0x15 >> (numEnv - 1 - l)) & 1;
                            ASSERT_EQ(g.freqRes[cls == SbrGrid::kFixVar ? numEnv - 1 - l : l], bit);
                        }
                    }
    EXPECT_GT(accepted, 1000);
}

TEST(SbrGrid, FixedGridsSplitTheFrameEvenly) {
    for (int tmp = 0; tmp < 4; ++tmp) {
        Writer w;
        w.put(SbrGrid::kFixFix, 2);
        w.put(uint32_t(tmp), 2);
        w.put(1, 1);
        BitCursor bc{w.bytes.data(), 0, w.bytes.data() + w.bytes.size()};
        SbrGrid g;
        const bool ok = readGrid(&bc, &g);
        if (tmp == 3) {  // eight envelopes exceed the limit of the fixed class
            EXPECT_FALSE(ok);
            continue;
        }
        ASSERT_TRUE(ok);
        ASSERT_EQ(g.numEnv, 1 << tmp);
        for (int l = 0; l <= g.numEnv; ++l) EXPECT_EQ(g.tE[l], l * 16 / g.numEnv);
        EXPECT_EQ(g.lA, -1);
        EXPECT_EQ(g.tQ[g.numNoise - 1], g.numNoise == 2 ? g.tE[g.numEnv / 2] : 0);
    }
}

}  // namespace
