// Compositing in row bands on the worker threads. The queue is planned in order on the calling
// thread: progress, the host's interrupt, images, render attributes, culling, the rows read from
// the host, and, with depth dithering, the random table's cursor each particle starts from (one
// value per pixel of each of its spans, counted without drawing). Then each band of image rows
// draws the planned particles in queue order, each its own rows only; a band resamples just
// the part of a sprite that falls in it. Every pixel thus sees the same particles in the same
// order with the same table values as in the plain loop, and the image is the same bit for bit.
#include <algorithm>
#include <atomic>

#include "engine/RandomTables.h"
#include "engine/WorkerPool.h"
#include "render/Render.h"

namespace {
constexpr int64_t BandRows = 16;     // rows per band: many more bands than threads, for balance
constexpr size_t BandBatch = 512;    // particles planned before the bands draw them
}  // namespace

bool TParticleRenderer::CanUseBands() const {
  // The plain paths, and rows shown as they are drawn, stay in one piece.
  return Workers != nullptr && Workers->Threads() > 1 && Buffer_ != nullptr && LineFloats_ > 0 && KeepRows_ &&
         !ReferenceRows && !ReferenceResampling && !ShowRendering && int64_t{Bottom_} - Top_ + 1 > BandRows;
}

void TParticleRenderer::RenderAllInBands() {
  const int64_t count = static_cast<int64_t>(Queue_.size());
  const size_t threads = static_cast<size_t>(Workers->Threads());
  while (BandSprites_.size() < threads) BandSprites_.push_back(std::make_unique<TBitmap32>());
  Plans_.clear();
  Plans_.reserve(std::min(BandBatch, static_cast<size_t>(count)));
  int cursor = RandomTableCursor();
  try {
    for (int64_t i = 0; i < count; ++i) {
      if (!StartQueued(i, count)) break;
      TRenderAttributes attributes;
      TParticle* particle = TakeQueued(i, attributes);
      if (!particle) continue;
      TParticlePlan plan;
      const bool drawn = PlanParticle(*particle, attributes, plan) && PlanRows(plan, cursor);
      SourceImage.reset();
      if (!drawn) continue;
      Plans_.push_back(std::move(plan));
      if (Plans_.size() == BandBatch) CompositeBands();
    }
  } catch (...) {
    // What was planned before the failure is drawn, as the plain loop would have drawn it.
    CompositeBands();
    SetRandomTableCursor(cursor);
    throw;
  }
  CompositeBands();
  SetRandomTableCursor(cursor);
}

bool TParticleRenderer::PlanRows(TParticlePlan& plan, int& cursor) {
  TSpriteClip bounds{};
  int64_t unusedLeft = 0, unusedTop = 0;
  if (!ResampleSprite(*plan.Image, plan.Flip, plan.Size, plan.FracX, plan.FracY, plan.Angle, RegionClip(plan),
                      *BandSprites_[0], unusedLeft, unusedTop, &bounds))
    return false;
  const int64_t xs = std::max<int64_t>(plan.Ix + bounds.Left, Left_);
  const int64_t xe = std::min<int64_t>(plan.Ix + bounds.Right, Right_);
  if (xe < xs) return false;
  plan.Span = xe - xs + 1;
  plan.FirstRow = plan.Iy + bounds.Top;
  int64_t y = plan.FirstRow;
  for (; y <= plan.Iy + bounds.Bottom; ++y)
    if (ReadRow(static_cast<int32_t>(y)) == nullptr) break;  // the particle ends at that row
  plan.EndRow = y;
  if (plan.EndRow == plan.FirstRow) return false;
  const int64_t pixels = (plan.EndRow - plan.FirstRow) * plan.Span;
  CompositedPixels_ += pixels;
  plan.Cursor = cursor;
  if (plan.Blend.D != 0) cursor = static_cast<int>((cursor + pixels % RandomTableSize) % RandomTableSize);
  return true;
}

void TParticleRenderer::CompositeBands() {
  if (Plans_.empty()) return;
  const int64_t bands = (int64_t{Bottom_} - Top_ + BandRows) / BandRows;
  std::atomic<int64_t> next{0};
  Workers->Run(Workers->Threads(), [&](int64_t thread) {
    TBitmap32& sprite = *BandSprites_[static_cast<size_t>(thread)];
    for (int64_t band; (band = next.fetch_add(1, std::memory_order_relaxed)) < bands;) CompositeBand(band, sprite);
  });
  Plans_.clear();
}

void TParticleRenderer::CompositeBand(int64_t band, TBitmap32& sprite) {
  const int64_t bandTop = Top_ + band * BandRows;
  const int64_t bandBottom = std::min<int64_t>(bandTop + BandRows - 1, Bottom_);
  for (const TParticlePlan& plan : Plans_) {
    const int64_t first = std::max(plan.FirstRow, bandTop), last = std::min(plan.EndRow - 1, bandBottom);
    if (first > last) continue;
    const TSpriteClip clip{Left_ - plan.Ix, first - plan.Iy, Right_ - plan.Ix, last - plan.Iy};
    int64_t left = 0, top = 0;
    if (!ResampleSprite(*plan.Image, plan.Flip, plan.Size, plan.FracX, plan.FracY, plan.Angle, clip, sprite, left,
                        top))
      continue;
    int64_t xs = plan.Ix + left;
    const int64_t xe = std::min<int64_t>(xs + sprite.Width - 1, Right_);
    int64_t skip = 0;
    if (xs < Left_) {
      skip = Left_ - xs;
      xs = Left_;
    }
    for (int32_t j = 0; j < sprite.Height; ++j) {
      const int64_t y = plan.Iy + top + j;
      const size_t line = static_cast<size_t>(y - Top_);
      float* row = Rows_.get() + line * LineFloats_;
      int cursor = static_cast<int>((plan.Cursor + ((y - plan.FirstRow) * plan.Span) % RandomTableSize) % RandomTableSize);
      const uint32_t* spriteRow = sprite.Pixels.data() + static_cast<size_t>(j) * static_cast<size_t>(sprite.Width);
      BlendSpanAt(row + (xs - Left_) * Stride_, spriteRow + skip, xe - xs + 1, plan.Blend, cursor);
      RowState_[line] = 2;
    }
  }
}
