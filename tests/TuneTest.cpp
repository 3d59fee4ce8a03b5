#include <gtest/gtest.h>

#include "acquisition/Tuner.h"
#include "cardlib/Card.h"
#include "framework/headless/HeadlessHost.h"

namespace {

class TuneTest : public ::testing::Test {
protected:
    void SetUp() override { card.Attach(host); }
    fw::HeadlessHost host;
    cardlib::Card card;
};

TEST_F(TuneTest, TuningTwiceToOneFrequencySetsItOnce) {
    EXPECT_EQ(acquisition::Tune(346000), 1);
    EXPECT_EQ(acquisition::Tune(346000), 0);
    EXPECT_EQ(card.Calls().setFrequency, 1);
    EXPECT_EQ(card.Calls().lastSetFrequency, 346000ul);
    EXPECT_EQ(card.Frequency(), 346000ul);
    EXPECT_EQ(acquisition::Tune(354000), 1);
    EXPECT_EQ(card.Calls().setFrequency, 2);
    EXPECT_EQ(card.Frequency(), 354000ul);
}

TEST_F(TuneTest, TunesTheFrontEndWithFlagsOne) {
    EXPECT_EQ(acquisition::Tune(346000), 1);
    EXPECT_EQ(card.Calls().setFrequency, 1);
    EXPECT_EQ(card.Calls().lastSetFrequencyFlags, 1);
}

// When the front end cannot say where it is, every call tunes.
TEST_F(TuneTest, FailingFrequencyReadAlwaysTunes) {
    EXPECT_EQ(acquisition::Tune(346000), 1);
    card.Faults().getFrequency = 5;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(acquisition::Tune(346000), 1);
    EXPECT_EQ(card.Calls().setFrequency, 4);
    EXPECT_EQ(card.Calls().getFrequency, 4);
    EXPECT_EQ(card.Calls().lastSetFrequency, 346000ul);
}

}  // namespace
