// The drawing surface on a Qt host's view window: a transparent widget laid over the view that
// keeps what is drawn on it in an image until the view is refreshed. The host clears it through
// its slot clear() (found by the object name "VantrelViewCanvas", so that the host needs none of
// the plug-in's headers). Drawing calls only paint into the image; Flush shows it at once, which
// a loop holding the thread needs (the platform flushes whenever the loop checks Escape or the
// clock).
#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>

#include "hostapi/DrawSurface.h"
#include "hostapi/PixelShapes.h"

class TQtViewCanvas : public QWidget, public TDrawSurface {
  Q_OBJECT
 public:
  // Lays itself over view, following its size.
  explicit TQtViewCanvas(QWidget* view);

  void SetPenColor(uint32_t color) override { Pen_ = color; }
  void SetBrushColor(uint32_t color) override { Brush_ = color; }
  void SetBrushHollow(bool hollow) override { Hollow_ = hollow; }
  void FillRect(int32_t left, int32_t top, int32_t right, int32_t bottom) override;
  void FrameRect(int32_t left, int32_t top, int32_t right, int32_t bottom) override;
  void Ellipse(int32_t left, int32_t top, int32_t right, int32_t bottom) override;

  // Repaints now if anything was drawn since the last paint.
  void Flush();
  // What was drawn since the last clear. A copy of it stays as it is while drawing goes on.
  const QImage& Image() {
    Bits_ = nullptr;
    return Image_;
  }

 public slots:
  // Erases every drawing (the view was refreshed).
  void clear();

 protected:
  void paintEvent(QPaintEvent*) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Fit();
  // Image_'s pixels, taken once while a frame is drawn.
  TPixelRows Rows();
  QImage Image_;
  uchar* Bits_ = nullptr;  // Image_'s pixels while a frame is drawn; null when to be taken again
  TPixelRows Rows_;        // where Bits_ points
  uint32_t Pen_ = 0, Brush_ = 0xFFFFFF;
  bool Hollow_ = false;
  bool Dirty_ = false;
};

// 0x00BBGGRR to a colour.
QColor ColorOfRef(uint32_t color);
