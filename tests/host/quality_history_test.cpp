// The quality history: the ring of readings, the worst stretch and the time
// at Bad or worse, the CSV form, and the fixed memory it holds.
#include <ctime>
#include <vector>

#include <gtest/gtest.h>

#include "drive/quality.h"
#include "drive/quality_history.h"
#include "tests/common/local_time.h"

namespace norvane::test {
namespace {

constexpr std::size_t kCapacity = QualityHistory::kCapacity;
// Frames of a time code, at 75 a second.
constexpr std::uint32_t Frames(std::uint32_t minutes, std::uint32_t seconds, std::uint32_t frames) {
  return (minutes * 60 + seconds) * 75 + frames;
}

HistoryPoint PointAt(std::int64_t wallTimeMs, std::uint8_t level = 0, std::uint32_t frame = 0) {
  HistoryPoint point;
  point.wallTimeMs = wallTimeMs;
  point.level = level;
  point.lastSectorFrame = frame;
  return point;
}

TEST(QualityHistory, KeepsTheLastCapacityReadingsOldestFirst) {
  const std::size_t added[] = {0, 1, 2, kCapacity - 1, kCapacity, kCapacity + 1, 2 * kCapacity + 7};
  for (std::size_t count : added) {
    SCOPED_TRACE(testing::Message() << count << " readings added");
    QualityHistory history;
    for (std::size_t i = 0; i < count; ++i) history.Add(PointAt(static_cast<std::int64_t>(i)));
    const std::size_t kept = count < kCapacity ? count : kCapacity;
    ASSERT_EQ(history.Size(), kept);
    // The kept ones are the newest, oldest first, none skipped.
    for (std::size_t i = 0; i < kept; ++i) {
      ASSERT_EQ(history.At(i).wallTimeMs, static_cast<std::int64_t>(count - kept + i)) << "index " << i;
    }
  }
}

TEST(QualityHistory, ClearStartsANewMeasurement) {
  QualityHistory history;
  for (std::size_t i = 0; i < kCapacity + 3; ++i) history.Add(PointAt(static_cast<std::int64_t>(i), 8));
  history.Clear();
  EXPECT_EQ(history.Size(), 0u);
  EXPECT_FALSE(history.Worst().any);

  history.Add(PointAt(42, 3, 7));
  ASSERT_EQ(history.Size(), 1u);
  EXPECT_EQ(history.At(0).wallTimeMs, 42);
  const WorstStretch worst = history.Worst();
  EXPECT_TRUE(worst.any);
  EXPECT_EQ(worst.level, 3);  // nothing of the level 8 before Clear
  EXPECT_EQ(worst.startFrame, 7u);
}

struct Reading {
  std::int64_t wallTimeMs;
  std::uint8_t level;
};

struct WorstCase {
  const char* name;
  std::vector<Reading> readings;  // the frame of reading i is 75 * (i + 1)
  std::uint8_t level;
  std::size_t first, count;
  std::int64_t secondsAtBadOrWorse, runSeconds;
  std::int64_t pollPeriodMs = 1000;
};

TEST(QualityHistory, WorstStretchAndTimeAtBadOrWorse) {
  const WorstCase cases[] = {
      {"clean throughout", {{0, 0}, {1000, 0}, {2000, 0}}, 0, 0, 3, 0, 3},
      {"the longer of two runs at the worst level",
       {{0, 2}, {1000, 8}, {2000, 8}, {3000, 3}, {4000, 8}, {5000, 8}, {6000, 8}, {7000, 0}},
       8,
       4,
       3,
       5,
       3},
      {"of equal runs the first", {{0, 6}, {1000, 6}, {2000, 0}, {3000, 6}, {4000, 6}}, 6, 0, 2, 4, 2},
      {"Bad and Fatal count, Not Good does not", {{0, 5}, {1000, 6}, {2000, 7}, {3000, 8}, {4000, 5}}, 8, 3, 1, 3, 1},
      {"readings about a second apart", {{0, 8}, {980, 8}, {2010, 8}, {2990, 8}}, 8, 0, 4, 4, 4},
      // Ten minutes without a reading (the tab not shown): the level then is
      // unknown, so the reading before the gap stands for two seconds only.
      {"a gap counts two seconds at most", {{0, 7}, {1000, 7}, {2000, 7}, {602000, 7}, {603000, 7}}, 7, 0, 5, 6, 6},
      {"a clock set back counts nothing", {{0, 8}, {1000, 8}, {0, 8}}, 8, 0, 3, 2, 2},
      // Polled every five seconds: the newest stands for five, a gap for ten at most.
      {"a longer polling period", {{0, 8}, {5000, 8}, {10000, 8}, {40000, 8}}, 8, 0, 4, 25, 25, 5000},
  };
  for (const WorstCase& c : cases) {
    SCOPED_TRACE(c.name);
    QualityHistory history(c.pollPeriodMs);
    for (std::size_t i = 0; i < c.readings.size(); ++i) {
      history.Add(PointAt(c.readings[i].wallTimeMs, c.readings[i].level, static_cast<std::uint32_t>(75 * (i + 1))));
    }
    const WorstStretch worst = history.Worst();
    EXPECT_TRUE(worst.any);
    EXPECT_EQ(worst.level, c.level);
    EXPECT_EQ(worst.first, c.first);
    EXPECT_EQ(worst.count, c.count);
    EXPECT_EQ(worst.startFrame, 75 * (c.first + 1));
    EXPECT_EQ(worst.secondsAtBadOrWorse, c.secondsAtBadOrWorse);
    EXPECT_EQ(worst.runSeconds, c.runSeconds);
  }
}

TEST(QualityHistory, WorstStretchIndexCountsFromTheOldestKept) {
  QualityHistory history;
  // The worst run is written over the end of the buffer and wraps round it.
  for (std::size_t i = 0; i < kCapacity + 10; ++i) {
    const bool scratched = i >= kCapacity - 2 && i < kCapacity + 3;
    history.Add(PointAt(static_cast<std::int64_t>(i) * 1000, scratched ? 8 : 1, static_cast<std::uint32_t>(i)));
  }
  const WorstStretch worst = history.Worst();
  EXPECT_EQ(worst.level, 8);
  EXPECT_EQ(worst.first, kCapacity - 12);
  EXPECT_EQ(worst.count, 5u);
  EXPECT_EQ(worst.startFrame, kCapacity - 2);
  EXPECT_EQ(worst.runSeconds, 5);
  EXPECT_EQ(worst.secondsAtBadOrWorse, 5);
}

TEST(QualityHistoryCsv, HeaderAndOneLineAReading) {
  EXPECT_EQ(HistoryCsvHeader(), "time,level,word,errorCount,transferredSectors,timeCode");
  const struct {
    HistoryPoint point;
    const char* line;
  } cases[] = {
      {{LocalMs(2026, 12, 11, 14, 3, 5, 999), 8, 1234, 5000, Frames(2, 34, 63)},
       "2026-12-11T14:03:05,8,Fatal,1234,5000,02:34:63"},
      {{LocalMs(2026, 1, 2, 3, 4, 5, 0), 4, 7, 4000, Frames(0, 0, 0)},
       "2026-01-02T03:04:05,4,Not Good,7,4000,00:00:00"},
      {{LocalMs(2027, 11, 30, 23, 59, 59, 500), 0, 0, 4294967295u, Frames(79, 59, 74)},
       "2027-11-30T23:59:59,0,Perfect,0,4294967295,79:59:74"},
  };
  for (const auto& c : cases) EXPECT_EQ(HistoryCsvLine(c.point), c.line);
}

TEST(QualityHistory, HoldsTheSameFewHundredKilobytesHoweverLong) {
  constexpr std::size_t kBound = 400 * 1000;
  QualityHistory history;
  EXPECT_EQ(history.BytesReserved(), 0u) << "a history that never had a reading holds nothing";
  history.Add(PointAt(0, 0));
  const std::size_t reserved = history.BytesReserved();
  EXPECT_LE(reserved, kBound);
  // Enough for every reading it keeps.
  EXPECT_GE(reserved, kCapacity * sizeof(HistoryPoint));
  for (std::size_t i = 1; i < 3 * kCapacity; ++i) {
    history.Add(PointAt(static_cast<std::int64_t>(i) * 1000, static_cast<std::uint8_t>(i % 9)));
    if (i % kCapacity == 0 || i % kCapacity == kCapacity - 1) {
      ASSERT_EQ(history.BytesReserved(), reserved) << i;
    }
  }
  history.Clear();
  EXPECT_EQ(history.BytesReserved(), reserved);
}

}  // namespace
}  // namespace norvane::test
