// Gradient evaluation, stop editing and the gradient stream.
#include "engine/ColorSeries.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "engine/Stream.h"

TColorSeries::TColorSeries() { ResetGradient(); }

void TColorSeries::ResetGradient() {
  Stops.clear();
  AddStop(1, ColorWhite);
}

void TColorSeries::ColorAt(double x, TColorVector& result) const {
  if (Stops.empty()) {
    result = MakeColorVector(0, 0, 0, 0);
    return;
  }
  const size_t count = Stops.size();
  size_t i = 0;
  while (i + 1 < count && Stops[i + 1].Position < x) ++i;
  const size_t j = i + 1 < count ? i + 1 : i;
  const double a = Stops[i].Position - 1;
  const double b = Stops[j].Position - 1;
  double t = a == b ? 0.0 : (x - a) / (b - a);
  if (!(t >= 0)) t = 0;  // also a NaN argument
  if (t > 1) t = 1;
  TColorVector ca, cb;
  ColorToVector(Stops[i].Color, ca);
  ColorToVector(Stops[j].Color, cb);
  LerpColor(ca, cb, result, static_cast<float>(t));
}

int TColorSeries::AddStop(double position, TColor color) {
  const auto at = std::upper_bound(Stops.begin(), Stops.end(), position,
                                   [](double p, const TColorStop& s) { return p < s.Position; });
  const auto it = Stops.insert(at, TColorStop{position, color, 1.0});
  return static_cast<int>(it - Stops.begin());
}

void TColorSeries::DeleteStop(int index) {
  Stops.at(static_cast<size_t>(index));  // range check
  Stops.erase(Stops.begin() + index);
}

void TColorSeries::SetStopColor(int index, TColor color) { Stops.at(static_cast<size_t>(index)).Color = color; }

int TColorSeries::SetStopPosition(int index, double position) {
  const TColor color = Stops.at(static_cast<size_t>(index)).Color;
  Stops.erase(Stops.begin() + index);
  return AddStop(position, color);
}

void TColorSeries::Assign(const std::vector<TColorStop>& stops,
                          const std::array<uint8_t, ReservedSize>& reserved) {
  Stops.clear();
  for (const TColorStop& stop : stops) AddStop(stop.Position, stop.Color);
  ReservedBlock = reserved;
}

double TColorSeries::LargestPosition() const { return Stops.empty() ? 0.0 : Stops.back().Position; }

size_t TColorSeries::LoadFromStream(TStream& s) {
  Stops.clear();
  std::array<uint8_t, ReservedSize> block{};
  s.Read(block.data(), block.size());  // a short block keeps zeros where bytes are missing
  ReservedBlock = block;
  int32_t count = 0;
  size_t dropped = 0;
  if (!ReadField(s, count)) return dropped;
  // Stops are appended as they are read, so a count the stream cannot back allocates nothing.
  for (int32_t k = 0; k < count; ++k) {
    double position = 0;
    int32_t color = 0;
    if (!ReadField(s, position) || !ReadField(s, color)) return dropped;
    // A stop at no position would move on every save: it is damage, not data.
    if (std::isnan(position)) {
      ++dropped;
      continue;
    }
    AddStop(position, static_cast<TColor>(color));
  }
  return dropped;
}

void TColorSeries::SaveToStream(TStream& s) const {
  s.Write(ReservedBlock.data(), ReservedBlock.size());
  WriteField(s, static_cast<int32_t>(Stops.size()));
  for (const TColorStop& stop : Stops) {
    WriteField(s, stop.Position);
    WriteField(s, static_cast<int32_t>(stop.Color));
  }
}

size_t TColorSeries::LoadFromFile(const std::string& fileName) {
  TFileReadStream s(fileName);
  return LoadFromStream(s);
}

void TColorSeries::SaveToFile(const std::string& fileName) const {
  TFileWriteStream s(fileName);
  SaveToStream(s);
  s.Commit();
}
