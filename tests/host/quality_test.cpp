// The judgements made of what a drive reports: quality level and its word
// and colour band, time code, bus power verdict.
#include <gtest/gtest.h>

#include "drive/quality.h"

namespace norvane::test {
namespace {

struct LevelCase {
  std::uint32_t errors, sectors;
  std::uint8_t level;
};

TEST(QualityLevel, ExactBoundsBelongToTheNextLevel) {
  const LevelCase cases[] = {
      {0, 0, 0},
      {5, 0, 0},      // no sectors: nothing to judge
      {0, 12345, 0},  // no errors
      {1, 10000, 1},  // 0.0001
      {1, 8000, 2},   // exactly 0.000125
      {1, 8001, 1},
      {1, 4000, 3},  // exactly 0.00025
      {1, 4001, 2},
      {21, 40000, 4},  // exactly 0.000525
      {21, 40001, 3},
      {231, 200000, 5},  // exactly 0.001155
      {231, 200001, 4},
      {53130, 20000000, 6},  // exactly 0.0026565
      {53130, 20000001, 5},
      {159390, 20000000, 7},  // exactly 0.0079695
      {159390, 20000001, 6},
      {3, 1000, 6},
      {1, 32, 7},
      {31878, 1000000, 8},  // exactly 0.031878
      {31878, 1000001, 7},
      {1, 31, 8},
      {2, 1, 8},
      {0xFFFFFFFF, 1, 8},  // more errors than sectors
      {1, 0xFFFFFFFF, 1},  // ratios far below the first bound are still errors
  };
  for (const LevelCase& c : cases) {
    EXPECT_EQ(QualityLevel(c.errors, c.sectors), c.level) << c.errors << " errors in " << c.sectors;
  }
}

TEST(QualityLevel, WordsAndColourBandsFollowTheirOwnBands) {
  const QualityWord words[] = {QualityWord::Perfect, QualityWord::Better,  QualityWord::Good,
                               QualityWord::NotGood, QualityWord::NotGood, QualityWord::NotGood,
                               QualityWord::Bad,     QualityWord::Bad,     QualityWord::Fatal};
  const QualityBand bands[] = {QualityBand::Green,  QualityBand::Green,  QualityBand::Green,
                               QualityBand::Yellow, QualityBand::Yellow, QualityBand::Yellow,
                               QualityBand::Red,    QualityBand::Red,    QualityBand::Red};
  for (std::uint8_t level = 0; level <= 8; ++level) {
    SCOPED_TRACE(testing::Message() << "level " << int{level});
    EXPECT_EQ(QualityWordOf(level), words[level]);
    EXPECT_EQ(QualityBandOf(level), bands[level]);
  }
}

TEST(QualityLevel, EnglishWordsAsTheToolAndTheHistoryWriteThem) {
  const struct {
    QualityWord word;
    const char* name;
  } cases[] = {
      {QualityWord::Perfect, "Perfect"},  {QualityWord::Better, "Better"}, {QualityWord::Good, "Good"},
      {QualityWord::NotGood, "Not Good"}, {QualityWord::Bad, "Bad"},       {QualityWord::Fatal, "Fatal"},
  };
  for (const auto& c : cases) EXPECT_STREQ(QualityWordName(c.word), c.name);
}

TEST(FormatTimeCode, SeventyFiveFramesASecondAndMinutesModulo256) {
  const struct {
    std::uint32_t frames;
    const char* text;
  } cases[] = {
      {0, "00:00:00"},
      {74, "00:00:74"},
      {75, "00:01:00"},
      {4499, "00:59:74"},
      {4500, "01:00:00"},
      {100 * 4500, "100:00:00"},
      {255 * 4500 + 4499, "255:59:74"},
      {256 * 4500, "00:00:00"},
      {256 * 4500 + 75, "00:01:00"},
      {0xFFFFFFFF, "69:10:45"},  // 954437 minutes wrap to 69
  };
  for (const auto& c : cases) EXPECT_EQ(FormatTimeCode(c.frames), c.text) << c.frames;
}

TEST(PowerVerdict, BytesFourToSevenMostSignificantFirstAgainst4400) {
  const struct {
    std::uint8_t bytes[kPowerCheckLength];
    std::uint32_t value;
    PowerVerdict verdict;
  } cases[] = {
      {{0, 0, 0, 0, 0x00, 0x00, 0x11, 0x30}, 4400, PowerVerdict::SlightlyNotEnough},
      {{0, 0, 0, 0, 0x00, 0x00, 0x11, 0x31}, 4401, PowerVerdict::Enough},
      {{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x11, 0x30}, 4400, PowerVerdict::SlightlyNotEnough},
      {{0x12, 0x34, 0x56, 0x78, 0x00, 0x00, 0x11, 0x31}, 4401, PowerVerdict::Enough},
      {{0, 0, 0x11, 0x31, 0x31, 0x11, 0x00, 0x00}, 0x31110000, PowerVerdict::Enough},
      {{}, 0, PowerVerdict::SlightlyNotEnough},                                  // a failed read leaves zeros
      {{0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}, 0xFFFFFFFF, PowerVerdict::Enough},  // unsigned
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(PowerValue(c.bytes), c.value);
    EXPECT_EQ(JudgePower(true, PowerValue(c.bytes)), c.verdict);
    EXPECT_EQ(JudgePower(false, PowerValue(c.bytes)), PowerVerdict::NotEnough);
  }
}

}  // namespace
}  // namespace norvane::test
