// A colour gradient: ordered stops (position, colour) read by particle birth and the renderer,
// edited by the gradient editor and stored as the gradient stream (also the whole of a .vtg
// file): a 65-byte block kept as loaded, the int32 stop count, then per stop a float64
// position and an int32 colour.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/ColorSpaces.h"

class TStream;

struct TColorStop {
  double Position = 0;
  TColor Color = 0;
  // The vertical coordinate the gradient editor draws every stop at; never stored.
  double DisplayValue = 1.0;
};

class TColorSeries {
 public:
  static constexpr size_t ReservedSize = 65;
  // Bytes of one stored stop.
  static constexpr size_t StopSize = 12;

  // One stop: position 1, white.
  TColorSeries();

  // Removes every stop and adds (1, white).
  void ResetGradient();

  // The colour at x. The search compares x with the stored positions, the interpolation uses
  // positions one lower, so a stop at s is the colour at argument s − 1 and holds until s.
  // Arguments before the first stop give its colour, past the last the last colour. A gradient
  // with no stops (only a loaded count of zero or less makes one) gives black.
  void ColorAt(double x, TColorVector& result) const;

  // Inserts after every stop whose position is not greater, so stops at one position keep the
  // order in which they came (the first is the colour up to it, the last the one after it).
  // Returns the new stop's index.
  int AddStop(double position, TColor color);
  // The index methods throw std::out_of_range for an index outside 0..Count() − 1.
  void DeleteStop(int index);
  void SetStopColor(int index, TColor color);
  // Moves the stop and restores the order (after the stops already at the new position);
  // returns the moved stop's new index.
  int SetStopPosition(int index, double position);
  int Count() const { return static_cast<int>(Stops.size()); }
  const TColorStop& Stop(int index) const { return Stops.at(static_cast<size_t>(index)); }
  // The largest position; 0 for a gradient with no stops.
  double LargestPosition() const;

  // Replaces the stops and the reserved block. A stream that ends early keeps the stops read
  // completely; a count beyond what the stream holds reads only those that are there. A stop
  // with a NaN position is damage: it is dropped; the answer counts the dropped stops.
  size_t LoadFromStream(TStream& s);
  void SaveToStream(TStream& s) const;
  // Throws EVantrelError "Cannot open file %s" (the gradient stays unchanged) or
  // "Cannot create file %s" (an existing file stays whole).
  // Answers the dropped stops, as LoadFromStream.
  size_t LoadFromFile(const std::string& fileName);
  void SaveToFile(const std::string& fileName) const;

  const std::array<uint8_t, ReservedSize>& Reserved() const { return ReservedBlock; }
  // Replaces the stops (kept in the order given, which the caller keeps ascending) and the
  // reserved block: what a gradient read from readable settings holds.
  void Assign(const std::vector<TColorStop>& stops, const std::array<uint8_t, ReservedSize>& reserved);

 private:
  std::vector<TColorStop> Stops;
  std::array<uint8_t, ReservedSize> ReservedBlock{};
};
