// The random draws must match the reference procedures bit for bit: a seed's queries depend on
// every output and on how many outputs each draw consumes. Expected values below were worked
// out independently from the procedures (seed 0's state and first outputs are the published
// SplitMix64/xoshiro256++ figures).
#include "generator/random.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace morvane::generator {
namespace {

// Advances a copy of `start` by `outputs` raw outputs.
Rng advanced(Rng start, int outputs) {
  for (int i = 0; i < outputs; ++i) start.next_u64();
  return start;
}

TEST(RngSeed, SeedZeroStateAndFirstOutputs) {
  Rng rng = Rng::seed_from_u64(0);
  const std::array<std::uint64_t, 4> expected = {0xe220a8397b1dcdaf, 0x6e789e6aa1b965f4,
                                                 0x06c45d188009454f, 0xf88bb8a8724c81ec};
  EXPECT_EQ(rng.state(), expected);
  EXPECT_EQ(rng.next_u64(), 0x53175d61490b23dfu);
  EXPECT_EQ(rng.next_u64(), 0x61da6f3dc380d507u);
}

TEST(RngSeed, NextU32IsTheHighHalf) {
  for (std::uint64_t seed : {0u, 1u, 42u, 0xffffffffu}) {
    Rng a = Rng::seed_from_u64(seed);
    Rng b = a;
    EXPECT_EQ(a.next_u32(), b.next_u64() >> 32) << "seed " << seed;
    EXPECT_EQ(a, b) << "seed " << seed;
  }
}

TEST(RngSeed, FromSeedReadsLittleEndianWordsAndReplacesAllZero) {
  struct Row {
    std::size_t byte;  // the one non-zero byte
    std::uint8_t value;
    std::array<std::uint64_t, 4> state;
  };
  const Row rows[] = {
      {0, 0x01, {1, 0, 0, 0}},
      {7, 0xff, {0xff00000000000000, 0, 0, 0}},
      {8, 0x02, {0, 2, 0, 0}},
      {25, 0x80, {0, 0, 0, 0x8000}},
  };
  for (const Row& row : rows) {
    std::array<std::uint8_t, 32> bytes{};
    bytes[row.byte] = row.value;
    EXPECT_EQ(Rng::from_seed(bytes).state(), row.state) << "byte " << row.byte;
  }
  EXPECT_EQ(Rng::from_seed({}), Rng::seed_from_u64(0));
}

TEST(RngSeed, FromOsRngGivesAUsableFreshState) {
  Result<Rng, OsRandomError> a = Rng::from_os_rng();
  Result<Rng, OsRandomError> b = Rng::from_os_rng();
  ASSERT_TRUE(a.ok()) << a.error().message;
  ASSERT_TRUE(b.ok()) << b.error().message;
  const std::array<std::uint64_t, 4> zero{};
  EXPECT_NE(a->state(), zero);
  // 256 random bits twice alike would mean the source is not read.
  EXPECT_NE(a->state(), b->state());
}

TEST(RngRange, ValuesAndOutputsConsumed) {
  struct Row {
    std::uint64_t seed;
    int width;
    std::uint64_t low;
    std::uint64_t range;
    std::uint64_t expected;
    int outputs;
  };
  const Row rows[] = {
      // One value: one output, the low end.
      {0, 32, 0, 1, 0, 1},
      {0, 32, 1, 1, 1, 1},
      {0, 64, 0, 1, 0, 1},
      {5, 64, 7, 1, 7, 1},
      // Small ranges almost never need the second output.
      {0, 32, 0, 3, 0, 1},
      {0, 32, 10, 3, 10, 1},
      {0, 64, 0, 100, 32, 1},
      {0, 64, 1, 100, 33, 1},
      // Wide ranges: a second output, with and without a carry into the result.
      {0, 32, 0, 0xffffffff, 1394040161, 2},
      {1, 32, 0, 0xffffffff, 3485847678, 2},
      {1, 32, 0, 0x80000001, 1742923840, 1},
      {0, 32, 0, 0x80000001, 697020081, 2},
      {3, 32, 0, 0x80000001, 110491080, 2},
      {0, 64, 0, 0xffffffffffffffff, 5987356902031041503u, 2},
      {1, 64, 0, 0xffffffffffffffff, 14971601782005023386u, 2},
      {1, 64, 0, 0x8000000000000001, 7485800891002511694u, 1},
      {0, 64, 0, 0x8000000000000001, 2993678451015520752u, 2},
      {3, 64, 0, 0x8000000000000001, 474555578799928468u, 2},
  };
  for (const Row& row : rows) {
    Rng rng = Rng::seed_from_u64(row.seed);
    const Rng start = rng;
    const std::uint64_t got =
        row.width == 32 ? rng.random_range_u32(static_cast<std::uint32_t>(row.low),
                                               static_cast<std::uint32_t>(row.range))
                        : rng.random_range_u64(row.low, row.range);
    EXPECT_EQ(got, row.expected) << "seed " << row.seed << " width " << row.width << " low "
                                 << row.low << " range " << row.range;
    EXPECT_EQ(rng, advanced(start, row.outputs))
        << "seed " << row.seed << " width " << row.width << " range " << row.range;
  }
}

TEST(RngRange, PowerOfTwoDrawsMatchTopBits) {
  for (std::uint64_t seed = 0; seed < 2000; ++seed) {
    Rng a = Rng::seed_from_u64(seed);
    Rng b = a;
    Rng c = a;
    Rng d = a;
    EXPECT_EQ(a.index(4), b.top_two_bits()) << "seed " << seed;
    EXPECT_EQ(c.index(2), d.top_bit()) << "seed " << seed;
    EXPECT_EQ(a, b) << "seed " << seed;
    EXPECT_EQ(a, advanced(Rng::seed_from_u64(seed), 1)) << "seed " << seed;
  }
  Rng rng = Rng::seed_from_u64(0);  // first output 0x53175d61490b23df: top bits 01
  Rng again = rng;
  EXPECT_EQ(rng.top_two_bits(), 1u);
  EXPECT_EQ(again.top_bit(), 0u);
}

TEST(RngSample, KnownOrders) {
  struct Row {
    std::uint64_t seed;
    std::uint32_t n;
    std::vector<std::uint32_t> expected;
  };
  const Row rows[] = {
      {0, 5, {0, 4, 1}},   // a repeated draw is replaced by j
      {1, 5, {3, 2, 0}},
      {0, 10, {2, 9, 3}},
      {7, 10, {0, 1, 7}},  // no repeat
      {0, 1, {0}},
      {4, 3, {2}},
  };
  for (const Row& row : rows) {
    Rng rng = Rng::seed_from_u64(row.seed);
    std::vector<std::uint32_t> got(row.expected.size());
    rng.sample(row.n, got);
    EXPECT_EQ(got, row.expected) << "seed " << row.seed << " n " << row.n;
  }
}

// sample(2, 2) draws over one value (always 0), then over two: 0 gives [1, 0], 1 gives [0, 1].
TEST(RngSample, TwoOfTwoFollowsTheSecondDraw) {
  int seen[2] = {0, 0};
  for (std::uint64_t seed = 0; seed < 200; ++seed) {
    Rng rng = Rng::seed_from_u64(seed);
    Rng probe = rng;
    EXPECT_EQ(probe.index(1), 0u);
    const std::uint32_t second = probe.index(2);
    std::array<std::uint32_t, 2> got;
    rng.sample(2, got);
    const std::array<std::uint32_t, 2> expected =
        second == 0 ? std::array<std::uint32_t, 2>{1, 0} : std::array<std::uint32_t, 2>{0, 1};
    EXPECT_EQ(got, expected) << "seed " << seed;
    EXPECT_EQ(rng, probe) << "seed " << seed;
    ++seen[second];
  }
  EXPECT_GT(seen[0], 0);
  EXPECT_GT(seen[1], 0);
}

TEST(RngSample, DistinctIndicesBelowN) {
  for (std::uint64_t seed = 0; seed < 500; ++seed) {
    for (std::uint32_t n = 1; n <= 6; ++n) {
      for (std::uint32_t k = 1; k <= std::min(n, 3u); ++k) {
        Rng rng = Rng::seed_from_u64(seed);
        std::vector<std::uint32_t> got(k);
        rng.sample(n, got);
        std::vector<bool> used(n, false);
        for (std::uint32_t i : got) {
          ASSERT_LT(i, n) << "seed " << seed << " n " << n << " k " << k;
          EXPECT_FALSE(used[i]) << "seed " << seed << " n " << n << " k " << k;
          used[i] = true;
        }
      }
    }
  }
}

}  // namespace
}  // namespace morvane::generator
