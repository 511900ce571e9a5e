// The SBR time grid reader over every frame class and field combination, written with an
// independent bit writer: borders, noise borders and the transient envelope.
#include <gtest/gtest.h>

#include <vector>

#include "mp3/mp3_test_util.h"
#include "sbr/sbr_bitstream.cpp"

namespace {

using mp3test::BitWriter;

// Class FIXFIX (tmp: 2^tmp even envelopes) or a variable class with its borders, relative steps
// and transient pointer; the expected grid when valid.
TEST(SbrGrid, EveryGridReadsBack) {
    int accepted = 0;
    for (int cls = 0; cls < 4; ++cls)
        for (int fields = 0; fields < (cls ? 16 * 16 * 10 * 8 : 4); ++fields) {
            const int bord = fields & 15, rels = fields >> 4 & 15, relBits = 7 * (fields >> 8) % 70, pointer = (fields >> 8) / 10;
            const bool fixVar = cls == SbrGrid::kFixVar, varFix = cls == SbrGrid::kVarFix;
            const int b0 = cls == 0 || fixVar ? 0 : bord & 3, b1 = cls == 0 || varFix ? 0 : bord >> 2;
            const int n0 = cls == 0 || fixVar ? 0 : rels & 3, n1 = cls == 0 || varFix ? 0 : rels >> 2;
            const int numEnv = cls ? n0 + n1 + 1 : 1 << fields, ptrBits = numEnv < 2 ? 1 : numEnv < 4 ? 2 : 3;
            if (cls && (numEnv > 5 || pointer >= (1 << ptrBits))) continue;
            BitWriter w;
            w.put(cls, 2);
            if (cls == 0) w.put(fields, 2);
            if (cls && !fixVar) w.put(b0, 2);
            if (cls && !varFix) w.put(b1, 2);
            if (cls && !fixVar) w.put(n0, 2);
            if (cls && !varFix) w.put(n1, 2);
            int rel[6], t[9] = {b0};
            for (int i = 0; i < n0 + n1; ++i) w.put(rel[i] = (relBits >> i) & 3, 2);
            if (cls) w.put(pointer, ptrBits);
            w.put(0x15, cls ? numEnv : 1);  // alternating frequency resolutions
            const std::vector<uint8_t> bytes = w.bytes(16);
            BitCursor bc{bytes.data(), 0, bytes.data() + bytes.size()};
            SbrGrid g;
            const bool ok = readGrid(&bc, &g);
            // eight fixed envelopes stop early
            ASSERT_TRUE(numEnv == 8 || size_t(bc.p - bytes.data()) * 8 + size_t(bc.off) == w.bits()) << cls << " " << fields;
            // Leading borders forward from b0, trailing ones back from 16 + b1; FIXFIX even.
            t[numEnv] = 16 + b1;
            for (int i = 1; i <= n0; ++i) t[i] = t[i - 1] + 2 * rel[i - 1] + 2;
            for (int i = 0; i < n1; ++i) t[numEnv - 1 - i] = t[numEnv - i] - 2 * rel[n0 + i] - 2;
            for (int i = 0; i <= numEnv && cls == 0; ++i) t[i] = 16 * i / numEnv;
            bool asc = true;
            for (int l = 0; l < numEnv; ++l) asc &= t[l] < t[l + 1];
            const int lA = pointer == 0 || cls == 0 ? -1 : varFix ? pointer - 1 : numEnv + 1 - pointer;
            const int middle = cls == 0 ? numEnv / 2
                               : varFix ? (pointer == 0 ? 1 : pointer == 1 ? numEnv - 1 : pointer - 1)
                                        : (pointer > 1 ? numEnv + 1 - pointer : numEnv - 1);
            const bool valid = cls == 0 ? numEnv < 8
                                        : asc && pointer <= numEnv + 1 && lA <= numEnv && (numEnv == 1 || (middle > 0 && middle < numEnv));
            ASSERT_EQ(ok, valid) << cls << " " << fields;
            if (!ok) continue;
            ++accepted;
            ASSERT_EQ(g.numEnv, numEnv);
            for (int l = 0; l <= numEnv; ++l) ASSERT_EQ(g.tE[l], t[l]);
            ASSERT_EQ(g.lA, lA);
            ASSERT_EQ(g.numNoise, numEnv > 1 ? 2 : 1);
            ASSERT_TRUE(g.tQ[0] == t[0] && g.tQ[g.numNoise] == t[numEnv] && (g.numNoise == 1 || g.tQ[1] == t[middle]));
            for (int l = 0; l < numEnv && cls; ++l)  // FIXVAR lists the resolutions from the last envelope back
                ASSERT_EQ(g.freqRes[fixVar ? numEnv - 1 - l : l], (0x15 >> (numEnv - 1 - l)) & 1);
        }
    EXPECT_GT(accepted, 1000);
}

}  // namespace
