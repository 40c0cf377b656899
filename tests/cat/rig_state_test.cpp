#include "cat/rig_state.h"

#include <gtest/gtest.h>

#include <cmath>

using cat::ChangedParams;
using cat::FreqAsInt32;
using cat::RigValues;

TEST(RigState, EachParameterRaisesItsOwnBit) {
    RigValues a;
    a.freqHz = 7050000;
    a.mode = 2;
    a.passband = 2400;
    a.vfo = 1;
    a.split = 0;
    a.txVfo = 1;
    EXPECT_EQ(ChangedParams(a, a), 0);

    RigValues b = a;
    b.freqHz = 7050010;
    EXPECT_EQ(ChangedParams(a, b), cat::kParamFreq);
    b = a;
    b.passband = 1800;
    EXPECT_EQ(ChangedParams(a, b), cat::kParamMode);
    b = a;
    b.mode = 4;
    EXPECT_EQ(ChangedParams(a, b), cat::kParamMode);
    b = a;
    b.vfo = 2;
    EXPECT_EQ(ChangedParams(a, b), cat::kParamVfo);
    b = a;
    b.txVfo = 2;
    EXPECT_EQ(ChangedParams(a, b), cat::kParamSplit);

    // The PTT counts by whether the rig transmits: a read that fails (empty)
    // is receive, so losing it while receiving raises nothing.
    b = a;
    b.ptt = true;
    EXPECT_TRUE(cat::Transmitting(b));
    EXPECT_FALSE(cat::Transmitting(a));
    EXPECT_EQ(ChangedParams(a, b), cat::kParamTx);
    EXPECT_EQ(ChangedParams(b, a), cat::kParamTx);
    RigValues receiving = a;
    receiving.ptt = false;
    EXPECT_EQ(ChangedParams(a, receiving), 0);
    EXPECT_EQ(ChangedParams(receiving, a), 0);
    b.freqHz = 7050010;
    EXPECT_EQ(ChangedParams(receiving, b), cat::kParamTx | cat::kParamFreq);

    // A rig that goes off line loses every value: all of them changed; and
    // a rig that comes on line gains them.
    const int all = cat::kParamFreq | cat::kParamMode | cat::kParamVfo | cat::kParamSplit;
    EXPECT_EQ(ChangedParams(a, RigValues{}), all);
    EXPECT_EQ(ChangedParams(RigValues{}, a), all);
    // One that goes off line while transmitting stops transmitting.
    RigValues keyed = a;
    keyed.ptt = true;
    EXPECT_EQ(ChangedParams(keyed, RigValues{}), all | cat::kParamTx);
    RigValues onlyFreq;
    onlyFreq.freqHz = 1;
    EXPECT_EQ(ChangedParams(RigValues{}, onlyFreq), cat::kParamFreq);
}

TEST(RigState, FrequencyFitsThirtyTwoBitsOrIsAFailedRead) {
    RigValues v;
    EXPECT_FALSE(FreqAsInt32(v)) << "unknown frequency";
    v.freqHz = 14195999;
    EXPECT_EQ(FreqAsInt32(v), 14195999);
    v.freqHz = 7049999.6;
    EXPECT_EQ(FreqAsInt32(v), 7050000);
    v.freqHz = 2147483647.0;
    EXPECT_EQ(FreqAsInt32(v), 2147483647);
    v.freqHz = 2147483648.0; // 2.1 GHz and above: no wrapped value
    EXPECT_FALSE(FreqAsInt32(v));
    v.freqHz = 10368000000.0;
    EXPECT_FALSE(FreqAsInt32(v));
    v.freqHz = -1.0;
    EXPECT_FALSE(FreqAsInt32(v));
    v.freqHz = std::nan("");
    EXPECT_FALSE(FreqAsInt32(v));
}
