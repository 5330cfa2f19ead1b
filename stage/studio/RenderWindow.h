// The render window: shows the image of the last rendered frame as the plug-in displays it, line
// by line (tsxRenderDisplayScanline), over the host's own image, and saves the frame ("Save
// Image", PNG or OpenEXR by the extension) as a render writes it: with the write options of the
// render pipeline. A window of its own, owned by the main window.
#pragma once

#include <QImage>
#include <QWidget>
#include <optional>

#include "stage/ImageFiles.h"
#include "stage/ScreenBuffer.h"

class QLabel;
class QPushButton;

namespace stage::studio {

class TRenderWindow : public QWidget {
  Q_OBJECT
 public:
  explicit TRenderWindow(QWidget* parent = nullptr);

  // A finished frame of a render: shown (as displayed), and kept for Save Image with the
  // options its render writes files with.
  void ShowFrame(const TScreenBuffer& image, const TImageWriteOptions& options, double frame);
  // Forgets the frame and the stage's display image: another scene is open.
  void Clear();
  // Shows one row of the display as the plug-in delivered it; repaints now and then so that the
  // lines appear while the render holds the thread.
  void ShowLine(int y);
  const QImage& Image() const { return Image_; }
  // Writes the shown frame; throws std::runtime_error naming the file when it cannot.
  void SaveImage(const QString& path) const;
  QPushButton* SaveButton() const { return Save_; }

 private:
  QLabel* Picture_;
  QLabel* Caption_;
  QPushButton* Save_;
  QImage Image_;
  std::optional<TScreenBuffer> Frame_;
  TImageWriteOptions FrameOptions_;
  qint64 LastPaint_ = 0;
};

// 8-bit RGB of a screen buffer (clamped, rounded to nearest).
QImage ToQImage(const TScreenBuffer& buffer);

}  // namespace stage::studio
