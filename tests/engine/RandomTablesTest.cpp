// The program-wide generator, the table and the jitter helpers.
#include <gtest/gtest.h>

#include "engine/RandomTables.h"

namespace {

// The table is filled once per program from seed 0, as at start-up.
class RandomTables : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RandomSeed = 0;
    InitRandomTable();
  }
};

}  // namespace

TEST_F(RandomTables, GeneratorAfterRunSeed) {
  RandomSeed = RunSeed;
  EXPECT_NEAR(Random(), 0.47784815, 5e-9);
  EXPECT_NEAR(Random(), 0.31986235, 5e-9);
  EXPECT_NEAR(Random(), 0.59971779, 5e-9);
  RandomSeed = RunSeed;
  EXPECT_EQ(RandomInt(10), 4);
  // Both kinds of draw advance the state once.
  RandomSeed = RunSeed;
  RandomInt(3);
  const double second = Random();
  EXPECT_NEAR(second, 0.31986235, 5e-9);
}

TEST_F(RandomTables, TableHoldsTheFirstDrawsFromZero) {
  EXPECT_FLOAT_EQ(RandomTableEntry(0), static_cast<float>(1.0 / 4294967296.0));
  EXPECT_FLOAT_EQ(RandomTableEntry(1), 0.03137994f);
  uint32_t seed = 0;
  for (int i = 0; i < RandomTableSize; ++i) {
    seed = seed * 134775813u + 1u;
    ASSERT_EQ(RandomTableEntry(i), static_cast<float>(seed / 4294967296.0)) << i;
  }
}

TEST_F(RandomTables, CursorWrapsAndLeavesGeneratorAlone) {
  SetRandomTableCursor(510);
  RandomSeed = 42;
  EXPECT_EQ(NextTableRandom(), RandomTableEntry(510));
  EXPECT_EQ(NextTableRandom(), RandomTableEntry(511));
  EXPECT_EQ(NextTableRandom(), RandomTableEntry(0));
  EXPECT_EQ(RandomTableCursor(), 1);
  EXPECT_EQ(RandomSeed, 42u);
}

TEST_F(RandomTables, TableJitterReadsByRoundedFrame) {
  SetRandomTableCursor(7);
  RandomSeed = 42;
  const struct {
    double t;
    int entry;
  } cases[] = {{2, 2}, {2.5, 2}, {3.5, 4}, {514, 2}, {0.4, 0}, {1023.6, 0}};
  for (const auto& c : cases) {
    const float expected = static_cast<float>(10.0 * (1.0 + 0.5 * (2.0 * RandomTableEntry(c.entry) - 1.0)));
    EXPECT_FLOAT_EQ(TableJitter(c.t, 10, 0.5f), expected) << "t = " << c.t;
  }
  for (double t : {0.0, 3.0, 700.0}) EXPECT_EQ(TableJitter(t, 12.5f, 0), 12.5f);
  EXPECT_EQ(RandomTableCursor(), 7);
  EXPECT_EQ(RandomSeed, 42u);
}

TEST_F(RandomTables, JitterHelpersDrawOnce) {
  RandomSeed = RunSeed;
  const double r = 0.47784815;
  EXPECT_NEAR(ScaleJitter(10, 1), 10 * (1 + (2 * r - 1)), 1e-5);
  EXPECT_NEAR(SignedJitter(4, 0.5f), (2 * 0.31986235 - 1) * 2, 1e-6);
  EXPECT_NEAR(Random(), 0.59971779, 5e-9);
}
