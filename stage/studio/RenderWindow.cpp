// The render window.
#include "stage/studio/RenderWindow.h"

#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "stage/ImageFiles.h"
#include "stage/Stage.h"

namespace stage::studio {

namespace {
int Byte(float v) { return static_cast<int>(std::nearbyint(std::clamp(v, 0.0f, 1.0f) * 255.0f)); }
}  // namespace

QImage ToQImage(const TScreenBuffer& b) {
  QImage image(b.Width(), b.Height(), QImage::Format_RGB32);
  for (int32_t y = 0; y < b.Height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int32_t x = 0; x < b.Width(); ++x) {
      const TPixel& p = b.At(x, y);
      row[x] = qRgb(Byte(p.R), Byte(p.G), Byte(p.B));
    }
  }
  return image;
}

TRenderWindow::TRenderWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("renderWindow");
  setWindowTitle(tr("Render"));
  auto* layout = new QVBoxLayout(this);
  auto* scroll = new QScrollArea(this);
  Picture_ = new QLabel(scroll);
  Picture_->setAlignment(Qt::AlignCenter);
  scroll->setWidget(Picture_);
  scroll->setWidgetResizable(true);
  layout->addWidget(scroll, 1);
  auto* row = new QHBoxLayout;
  Caption_ = new QLabel(this);
  Save_ = new QPushButton(tr("Save Image..."), this);
  Save_->setObjectName("saveImage");
  Save_->setEnabled(false);
  row->addWidget(Caption_, 1);
  row->addWidget(Save_);
  layout->addLayout(row);
  resize(700, 560);
  connect(Save_, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getSaveFileName(this, tr("Save Image"), QString(),
                                                      tr("PNG image (*.png);;OpenEXR image (*.exr)"));
    if (path.isEmpty()) return;
    try {
      SaveImage(path);
    } catch (const std::exception& e) {
      QMessageBox::critical(this, tr("Save Image"), QString::fromStdString(e.what()));
    }
  });
}

void TRenderWindow::ShowFrame(const TScreenBuffer& image, const TImageWriteOptions& options, double frame) {
  Frame_ = image;
  FrameOptions_ = options;
  if (Stage().Display)
    Image_ = ToQImage(*Stage().Display);
  else
    Image_ = ToQImage(image);
  Picture_->setPixmap(QPixmap::fromImage(Image_));
  Caption_->setText(tr("%1 × %2, frame %3").arg(Image_.width()).arg(Image_.height()).arg(frame));
  Save_->setEnabled(true);
}

void TRenderWindow::Clear() {
  Stage().Display.reset();
  Frame_.reset();
  Image_ = QImage();
  Picture_->clear();
  Caption_->clear();
  Save_->setEnabled(false);
}

void TRenderWindow::ShowLine(int y) {
  const auto& display = Stage().Display;
  if (!display || y < 0 || y >= display->Height()) return;
  if (Image_.width() != display->Width() || Image_.height() != display->Height()) {
    Image_ = ToQImage(*display);
  } else {
    auto* row = reinterpret_cast<QRgb*>(Image_.scanLine(y));
    for (int32_t x = 0; x < display->Width(); ++x) {
      const TPixel& p = display->At(x, y);
      row[x] = qRgb(Byte(p.R), Byte(p.G), Byte(p.B));
    }
  }
  const qint64 now = QDateTime::currentMSecsSinceEpoch();
  if (isVisible() && now - LastPaint_ > 100) {
    LastPaint_ = now;
    Picture_->setPixmap(QPixmap::fromImage(Image_));
    Picture_->repaint();
  }
}

void TRenderWindow::SaveImage(const QString& path) const {
  if (!Frame_) throw std::runtime_error("There is no rendered frame to save");
  WriteImage(path.toStdString(), *Frame_, FrameOptions_);
}

}  // namespace stage::studio
