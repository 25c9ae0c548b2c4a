#include "drive/quality_history.h"

#include <algorithm>
#include <ctime>

#include "drive/quality.h"

namespace norvane {
namespace {

bool BadOrWorse(std::uint8_t level) {
  const QualityWord word = QualityWordOf(level);
  return word == QualityWord::Bad || word == QualityWord::Fatal;
}

std::int64_t WholeSeconds(std::int64_t ms) { return (ms + 500) / 1000; }

std::tm LocalTime(std::time_t seconds) {
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  return local;
}

}  // namespace

QualityHistory::QualityHistory(std::int64_t pollPeriodMs) : m_pollPeriodMs(pollPeriodMs) {}

void QualityHistory::Add(const HistoryPoint& point) {
  // Taken at the first reading, once: a window whose Status page never reads
  // holds nothing, and a long measurement nothing more.
  if (m_ring.empty()) m_ring.resize(kCapacity);
  if (m_size < kCapacity) {
    m_ring[(m_oldest + m_size) % kCapacity] = point;
    ++m_size;
    return;
  }
  m_ring[m_oldest] = point;
  m_oldest = (m_oldest + 1) % kCapacity;
}

void QualityHistory::Clear() { m_oldest = m_size = 0; }

std::size_t QualityHistory::Size() const { return m_size; }

const HistoryPoint& QualityHistory::At(std::size_t index) const { return m_ring[(m_oldest + index) % kCapacity]; }

std::size_t QualityHistory::BytesReserved() const { return m_ring.capacity() * sizeof(HistoryPoint); }

// A reading stands for the time until the next one. The newest has no next
// yet: it stands for one polling period. A gap longer than two periods means
// nobody was reading (the tab not shown, the machine asleep): the level then
// is unknown, so a reading never stands for more than two periods. A clock
// set back counts nothing.
std::int64_t QualityHistory::ShareMs(std::size_t index) const {
  if (index + 1 == m_size) return m_pollPeriodMs;
  const std::int64_t gap = At(index + 1).wallTimeMs - At(index).wallTimeMs;
  return std::clamp<std::int64_t>(gap, 0, 2 * m_pollPeriodMs);
}

WorstStretch QualityHistory::Worst() const {
  WorstStretch worst;
  if (m_size == 0) return worst;
  worst.any = true;
  for (std::size_t i = 0; i < m_size; ++i) worst.level = std::max(worst.level, At(i).level);

  std::int64_t badMs = 0, runMs = 0, bestRunMs = 0;
  std::size_t runFirst = 0, runCount = 0;
  for (std::size_t i = 0; i < m_size; ++i) {
    const std::int64_t share = ShareMs(i);
    if (BadOrWorse(At(i).level)) badMs += share;
    if (At(i).level != worst.level) {
      runCount = 0;
      continue;
    }
    if (runCount == 0) runFirst = i, runMs = 0;
    ++runCount;
    runMs += share;
    // The first of equally long runs is kept: it is where the trouble began.
    if (runCount > worst.count) worst.first = runFirst, worst.count = runCount, bestRunMs = runMs;
  }
  worst.startFrame = At(worst.first).lastSectorFrame;
  worst.secondsAtBadOrWorse = WholeSeconds(badMs);
  worst.runSeconds = WholeSeconds(bestRunMs);
  return worst;
}

std::string FormatLocalTime(std::int64_t wallTimeMs) {
  // Floor division, so that a time before 1970 still rounds down to its second.
  const std::int64_t seconds = wallTimeMs / 1000 - (wallTimeMs % 1000 < 0 ? 1 : 0);
  const std::tm local = LocalTime(static_cast<std::time_t>(seconds));
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

std::string HistoryCsvHeader() { return "time,level,word,errorCount,transferredSectors,timeCode"; }

std::string HistoryCsvLine(const HistoryPoint& point) {
  return FormatLocalTime(point.wallTimeMs) + ',' + std::to_string(point.level) + ',' +
         QualityWordName(QualityWordOf(point.level)) + ',' + std::to_string(point.errorCount) + ',' +
         std::to_string(point.transferredSectors) + ',' + FormatTimeCode(point.lastSectorFrame);
}

}  // namespace norvane
