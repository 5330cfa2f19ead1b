// The particle renderer: composites the particles of a final render, as resampled and blended
// image sprites tested against the image's depth, into the host's float image; and draws
// particles of the interactive preview as dots, boxes or circles on a view's drawing surface.
//
// One renderer serves the whole program (the main panel owns it); the preview and the final
// render use it one at a time, on the host's thread. A pass is BeginRender, SubmitParticles of
// every system (or AddParticle), RenderAll, DisplayAll, then RenderedCount.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <memory>
#include <vector>

#include "hostapi/TsxApi5.h"
#include "pictures/Bitmap32.h"
#include "engine/RenderAttributes.h"
#include "render/Projection.h"

struct TParticle;
class TWorkerPool;
class TParticleSystem;
class TDrawSurface;

// Draw modes of the preview, the items of the main panel's draw-mode box.
enum TPreviewDrawMode : uint8_t {
  DrawDots = 0,
  DrawWireBoxes = 1,
  DrawWireCircles = 2,
  DrawSolidBoxes = 3,
  DrawSolidCircles = 4
};

class TParticleRenderer {
 public:
  TParticleRenderer();
  ~TParticleRenderer();
  TParticleRenderer(const TParticleRenderer&) = delete;
  TParticleRenderer& operator=(const TParticleRenderer&) = delete;

  // ---- A final-render pass.
  // Empties the queue and takes the image from postData; the region is the host's render
  // region when it has one, else the whole image.
  void BeginRender(const tssPostProcessData& postData);
  // Queues a particle (not owned; it must stay where it is until RenderAll ends). Answers its
  // position in the queue.
  int AddParticle(TParticle& particle);
  // Draws the queue back to front (a stable sort: particles of equal depth keep their
  // submission order), reporting progress and checking the host's interrupt before each one.
  // A particle whose image cannot be decoded is left out, as is every other particle of that
  // image in this pass; the rest are drawn. The failure is shown to the user once per image
  // until ForgetReportedImages. Afterwards the sprite is freed, RenderedCount holds the number
  // queued (drawn or not) and the queue is empty, also when another error passes on after the
  // rows composited so far are in the image.
  void RenderAll();
  // A new render: an image that still cannot be decoded is reported again.
  void ForgetReportedImages() { ReportedImages_.clear(); }
  // Shows every row of the region in the host.
  void DisplayAll();
  // Composites one particle with the renderer's current source image, render mode and max
  // size. Particles at or behind the eye, smaller than a pixel or larger than the max size,
  // outside the region, with alpha below 0.003, or whose corner is beyond 32-bit pixel
  // coordinates are left out. A row the host cannot read or write ends the particle.
  void RenderParticle(TParticle& particle, const TRenderAttributes& attributes);
  // Resamples the source image into the sprite: mirrored by flip, scaled to size pixels wide,
  // rotated by angle degrees about its centre and shifted by (fracX, fracY). Answers whether
  // the sprite has pixels. The sprite's pixel (0, 0) stands for the transformed point
  // (SpriteLeft(), SpriteTop()) relative to the particle's integer corner.
  bool PrepareSprite(uint8_t flip, float size, float fracX, float fracY, float angle);

  // ---- The preview. Draws into canvas as DrawMode says; reads VerticalOffset and
  // WireframeAlphaHints. Projects the particle with a fresh view (writing its ScreenPos).
  void DrawPreviewParticle(TParticle& particle, const TRenderAttributes& attributes,
                           TDrawSurface& canvas);
  // The preview's drawing of a system's frame: every live particle whose Visibility is not 0,
  // drawn as DrawPreviewParticle draws it, in slot order, with the view read once for the whole
  // system; attributes and projections are computed on the workers. Answers how many particles
  // were visible (drawn or left out as too near, too big or off the coordinates).
  int32_t DrawPreviewSystem(TParticleSystem& system, TDrawSurface& canvas);

  // ---- Settings the main panel and the final-render pass keep.
  bool ShowRendering = false;     // display each row in the host as soon as it is composited
  bool DepthDithering = false;    // the "Depth Dithering" menu item, read for every particle
  // "Soft Intersections": 0 is off; otherwise a sprite pixel whose depth lies less than this
  // many scene units in front of the image's depth fades in proportion. Read for every particle.
  float SoftDistance = 0;
  // The host's coverage extension (tsxHostScreenBufferCoverage, looked up by whoever installs
  // the renderer), asked once per pass. Null, or a host that answers 0: the image's lines are
  // read and written as red, green, blue and depth, and the image's alpha is the host's.
  using TCoverageQuery = int (*)(tssSCREENBUFFER* buffer);
  TCoverageQuery CoverageQuery = nullptr;
  std::function<void(int percent)> OnProgress;
  // The threads a pass may composite on (not owned; null: the caller's alone). Any count gives
  // the same image, bit for bit.
  TWorkerPool* Workers = nullptr;
  uint8_t DrawMode = DrawWireBoxes;
  int32_t VerticalOffset = 20;    // drawport pixels added to y in the preview
  bool WireframeAlphaHints = false;

  // ---- The particle being drawn. RenderAll sets these for every particle; a caller of
  // RenderParticle sets them itself.
  TImageRef SourceImage;
  int32_t RenderMode = 0;
  int32_t MaxSize = 1024;

  int32_t RenderedCount() const { return RenderedCount_; }
  // Span pixels blended (or depth-tested and left) since BeginRender; a measure of the work done.
  int64_t CompositedPixels() const { return CompositedPixels_; }
  int QueueCount() const { return static_cast<int>(Queue_.size()); }
  const TBitmap32* Sprite() const { return Sprite_.get(); }
  int64_t SpriteLeft() const { return SpriteLeft_; }
  int64_t SpriteTop() const { return SpriteTop_; }
  int32_t RegionLeft() const { return Left_; }
  int32_t RegionTop() const { return Top_; }
  int32_t RegionRight() const { return Right_; }
  int32_t RegionBottom() const { return Bottom_; }
  // Whether this pass updates the image's coverage (the host offered it at BeginRender).
  bool UpdatesCoverage() const { return Stride_ == 5; }

  // The plain paths, kept as the reference the fast ones are tested against: a sprite
  // resampled whole with a floating-point filter (the fast one resamples only what falls in
  // the region, in fixed point, within one unit of it), and every sprite row read from and
  // written back to the host through the line buffer (the fast one keeps the rows it touched
  // for the whole pass and writes them back at its end). Same images otherwise.
  bool ReferenceResampling = false;
  bool ReferenceRows = false;

 private:
  struct TSpriteClip {
    int64_t Left, Top, Right, Bottom;  // inclusive, in the sprite's transformed coordinates
  };
  // How one particle's sprite pixels blend into the image.
  struct TBlend {
    int32_t Mode = 0;      // the render mode
    float W = 0;           // the particle's squared depth, less half the dither depth
    float D = 0;           // the dither depth, 0 without dithering
    float AlphaScale = 0;  // the particle's alpha / 255
    float F[3] = {};       // the colour factors
    float Z = 0;           // the particle's view depth, for soft intersections
    float InvSoft = 0;     // 1 / SoftDistance, 0 when off
  };
  // One particle that passed the culling: how its sprite is made, where it goes and how it
  // blends; for the bands also the image rows [FirstRow, EndRow) it composites, the pixels of
  // its span in each, and the random table's cursor at its first row.
  struct TParticlePlan {
    TImageRef Image;
    uint8_t Flip = 0;
    float Size = 0, FracX = 0, FracY = 0, Angle = 0;
    int64_t Ix = 0, Iy = 0;  // the sprite's integer corner
    TBlend Blend;
    int64_t FirstRow = 0, EndRow = 0, Span = 0;
    int Cursor = 0;
  };
  // The culling of one particle with the current source image, render mode and max size, and
  // its blend; false when it is left out.
  bool PlanParticle(const TParticle& particle, const TRenderAttributes& attributes, TParticlePlan& plan);
  TSpriteClip RegionClip(const TParticlePlan& plan) const {
    return {Left_ - plan.Ix, Top_ - plan.Iy, Right_ - plan.Ix, Bottom_ - plan.Iy};
  }
  void CompositeParticle(TParticle& particle, const TRenderAttributes& attributes);
  bool PrepareSpriteClipped(uint8_t flip, float size, float fracX, float fracY, float angle,
                            const TSpriteClip& clip);
  // The sprite of an image into sprite, its pixel (0, 0) standing for (left, top); what
  // PrepareSprite does, with every input and output named, so that bands can make their own.
  // With boundsOnly, only the part of the sprite that would be made is put there (inclusive).
  bool ResampleSprite(const TBitmap32& src, uint8_t flip, float size, float fracX, float fracY, float angle,
                      const TSpriteClip& clip, TBitmap32& sprite, int64_t& left, int64_t& top,
                      TSpriteClip* boundsOnly = nullptr) const;
  // Blends one span: the reference loop (ReferenceRows) or the specialised one, both moving the
  // program's table cursor as they read.
  void CompositeSpan(float* pixels, const uint32_t* sprite, int64_t count, const TBlend& blend) const;
  // The specialised blend with the table cursor in the caller's hands.
  void BlendSpanAt(float* pixels, const uint32_t* sprite, int64_t count, const TBlend& blend, int& cursor) const;

  // ---- The preview's shapes: a particle's rectangle and colour in the view.
  struct TPreviewShape {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
    uint32_t Color = 0;
    bool Drawn = false;
  };
  // Projects the particle (writing its ScreenPos) and gives its shape; false when it is not drawn.
  bool PreviewShapeOf(TParticle& particle, const TRenderAttributes& attributes, const TViewProjection& view,
                      TPreviewShape& shape) const;
  void DrawPreviewShape(const TPreviewShape& shape, TDrawSurface& canvas) const;
  // The shape alone, in the surface's current colours and brush.
  void DrawPreviewOutline(const TPreviewShape& shape, TDrawSurface& canvas) const;
  std::vector<TPreviewShape> PreviewShapes_;  // one per pool slot of the system being drawn
  std::vector<int32_t> PreviewCounts_;        // visible particles per chunk
  static constexpr size_t PreviewChunkMinimum = 4096;  // slots from which the workers help

  // ---- Compositing in row bands on the workers (render/RenderBands.cpp): the queue is planned
  // in order on the caller (progress, interrupts, images, culling, rows read from the host, the
  // table cursor each particle starts from), a batch at a time; then every band of rows draws
  // the batch's particles in order, each band with a sprite of its own.
  bool CanUseBands() const;
  void RenderAllInBands();
  // Reads the plan's rows from the host (stopping at one that cannot be read, as the plain loop
  // stops the particle there) and gives the plan its cursor; false when no row is composited.
  bool PlanRows(TParticlePlan& plan, int& cursor);
  void CompositeBands();
  void CompositeBand(int64_t band, TBitmap32& sprite);
  std::vector<TParticlePlan> Plans_;
  std::vector<std::unique_ptr<TBitmap32>> BandSprites_;  // one per thread
  void ShowRow(int32_t y, const float* line);
  float* ReadRow(int32_t y);
  bool WriteRow(int32_t y, const float* line);
  void FlushRows();
  void EndPass();
  // Before the queue's i-th particle: reports progress and asks the host whether to go on.
  bool StartQueued(int64_t i, int64_t count);
  // The queue's i-th particle with its image (SourceImage) and attributes; null when it is left out.
  TParticle* TakeQueued(int64_t i, TRenderAttributes& attributes);
  // Sets SourceImage for a particle; false (the particle is left out) when its image failed.
  bool TakeImage(TParticleSystem& system, int index);

  tssSCREENBUFFER* Buffer_ = nullptr;
  int32_t ImageWidth_ = 0, ImageHeight_ = 0;
  int32_t Left_ = 0, Top_ = 0, Right_ = -1, Bottom_ = -1;  // int16 values from the host
  std::vector<TParticle*> Queue_;
  // Image names that failed to decode in this pass, and those already shown to the user.
  std::set<std::string> FailedImages_, ReportedImages_;
  bool InPass_ = false;  // inside RenderAll: touched rows are written back at its end
  int32_t RenderedCount_ = 0;
  int64_t CompositedPixels_ = 0;

  // The particle being drawn.
  // A copy of the random table for the dithered blend, read once per pass.
  float Table_[512] = {};
  bool TableLoaded_ = false;

  std::unique_ptr<TBitmap32> Sprite_;
  int64_t SpriteLeft_ = 0, SpriteTop_ = 0;

  // The line format of this pass: 5 (red, green, blue, depth), or 6 (red, green, blue, alpha,
  // depth) when the host keeps coverage; Stride_ floats per pixel.
  int32_t LineFormat_ = tssLINE_RGBZ;
  int Stride_ = 4;
  // One row of the region in the pass's format; wide enough for the image and the region.
  std::vector<float> Line_;
  size_t LineFloats_ = 0;
  // A row in the display's four floats per pixel, when the pass's lines hold five.
  std::vector<float> DisplayLine_;
  // The fast path's rows: a copy of each region row touched in this pass.
  bool KeepRows_ = true;  // false when the region is too large to copy
  std::unique_ptr<float[]> Rows_;
  std::vector<uint8_t> RowState_;  // per region row: 0 not read, 1 read, 2 changed
};

// The program's renderer, which SubmitParticles queues with: installed by its owner (the main
// panel) and withdrawn with null before it goes. Null until then.
TParticleRenderer* Renderer();
void InstallRenderer(TParticleRenderer* renderer);
