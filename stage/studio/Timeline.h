// The studio's timeline: a frame slider with the selected node's keys marked under it, the
// current frame's field, Play and Stop of the host's animation (the scene's time stepping through
// its range at 30 frames per second, looping), and the first and last frame of the range.
#pragma once

#include <QWidget>
#include <vector>

class QSlider;
class QSpinBox;
class QPushButton;
class QTimer;

namespace stage::studio {

class TTimeline : public QWidget {
  Q_OBJECT
 public:
  explicit TTimeline(QWidget* parent = nullptr);

  int Frame() const;
  // Shows the range and the frame without telling anyone.
  void SetRange(int first, int last);
  void SetFrame(int frame);
  // The frames to mark as keys.
  void SetKeys(std::vector<float> keys);
  const std::vector<float>& Keys() const { return Keys_; }
  bool Playing() const;

  QSlider* Slider() const { return Slider_; }
  QSpinBox* FrameField() const { return FrameField_; }
  QPushButton* PlayButton() const { return Play_; }

 public slots:
  void Play();
  void Stop();

 signals:
  // The user (or playback) moved to a frame.
  void FrameChanged(int frame);
  // The user changed the range.
  void RangeChanged(int first, int last);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Step();
  QSlider* Slider_;
  QSpinBox* FrameField_;
  QSpinBox* First_;
  QSpinBox* Last_;
  QPushButton* Play_;
  QTimer* Timer_;
  std::vector<float> Keys_;
  bool Quiet_ = false;
};

}  // namespace stage::studio
