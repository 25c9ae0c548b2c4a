#include "tool/quality_bar.h"

#include "drive/quality.h"

namespace norvane::tool {
namespace {

constexpr int kSegments = 8;

Colour BandColour(QualityBand band) {
  switch (band) {
    case QualityBand::Green: return Colour::Green;
    case QualityBand::Yellow: return Colour::Yellow;
    case QualityBand::Red: return Colour::Red;
  }
  return Colour::Red;
}

}  // namespace

std::string QualityBar(std::uint8_t level, const Palette& palette, bool utf8) {
  const Colour lit = BandColour(QualityBandOf(level));
  std::string bar = utf8 ? "" : "[";
  for (int segment = 0; segment < kSegments; ++segment) {
    const bool on = segment < level;
    if (utf8) {
      if (segment > 0) bar += ' ';
      bar += palette.Paint(on ? "██" : "░░", on ? lit : Colour::Grey);
    } else {
      bar += on ? palette.Paint("#", lit) : "-";
    }
  }
  return utf8 ? bar : bar + "]";
}

}  // namespace norvane::tool
