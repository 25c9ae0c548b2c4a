// The quality history of a measurement: the readings of the Status page or
// of `status --watch`, kept in a buffer of fixed size so that memory stays
// flat however long a measurement runs, with the worst stretch and the CSV
// form shared by every front end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace norvane {

// One reading of the Status page / status --watch, as kept for the history.
struct HistoryPoint {
  std::int64_t wallTimeMs = 0;  // Unix time in milliseconds when the reading was taken
  std::uint8_t level = 0;       // 0..8
  std::uint32_t errorCount = 0;
  std::uint32_t transferredSectors = 0;
  std::uint32_t lastSectorFrame = 0;  // time code of the last transferred sector, in frames (75/s)
};

// The worst level of a measurement and its longest run of consecutive readings at that level.
struct WorstStretch {
  bool any = false;  // false: no readings yet
  std::uint8_t level = 0;
  std::size_t first = 0;                 // index of the run's first reading
  std::size_t count = 0;                 // readings in the run
  std::uint32_t startFrame = 0;          // lastSectorFrame of the run's first reading
  std::int64_t secondsAtBadOrWorse = 0;  // time spent at levels named Bad or Fatal, whole seconds
  std::int64_t runSeconds = 0;           // how long the worst run lasted, whole seconds
};

// A bounded measurement: the last kCapacity readings, in a buffer allocated
// once, at the first reading.
class QualityHistory {
 public:
  static constexpr std::size_t kCapacity = 4 * 60 * 60;  // 4 hours at one reading a second

  // Readings come once every `pollPeriodMs`: the newest stands for one
  // period, and none for more than two (see ShareMs).
  explicit QualityHistory(std::int64_t pollPeriodMs = 1000);

  void Add(const HistoryPoint& point);
  void Clear();
  std::size_t Size() const;
  const HistoryPoint& At(std::size_t index) const;  // 0 is the oldest kept
  WorstStretch Worst() const;
  std::size_t BytesReserved() const;  // what the buffer holds on to, for the memory bound

 private:
  // How long reading `index` stands for, in milliseconds.
  std::int64_t ShareMs(std::size_t index) const;

  std::int64_t m_pollPeriodMs;
  std::vector<HistoryPoint> m_ring;
  std::size_t m_oldest = 0;
  std::size_t m_size = 0;
};

std::string HistoryCsvHeader();                         // one line, no newline
std::string HistoryCsvLine(const HistoryPoint& point);  // one line, no newline

// "2026-12-11T14:03:05": a wall time in local time, to the second.
std::string FormatLocalTime(std::int64_t wallTimeMs);

}  // namespace norvane
