// The studio's timeline.
#include "stage/studio/Timeline.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTimer>

namespace stage::studio {

TTimeline::TTimeline(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(6, 2, 6, 2);
  Play_ = new QPushButton(tr("Play"), this);
  Play_->setObjectName("play");
  Play_->setCheckable(true);
  Slider_ = new QSlider(Qt::Horizontal, this);
  Slider_->setObjectName("frameSlider");
  Slider_->setMinimumHeight(28);
  FrameField_ = new QSpinBox(this);
  FrameField_->setObjectName("frameField");
  First_ = new QSpinBox(this);
  Last_ = new QSpinBox(this);
  First_->setObjectName("firstFrame");
  Last_->setObjectName("lastFrame");
  for (QSpinBox* s : {FrameField_, First_, Last_}) s->setRange(-100000, 100000);
  layout->addWidget(Play_);
  layout->addWidget(new QLabel(tr("Frame"), this));
  layout->addWidget(FrameField_);
  layout->addWidget(Slider_, 1);
  layout->addWidget(new QLabel(tr("Range"), this));
  layout->addWidget(First_);
  layout->addWidget(Last_);
  // Tab goes left to right, as the row reads.
  setTabOrder(Play_, FrameField_);
  setTabOrder(FrameField_, Slider_);
  setTabOrder(Slider_, First_);
  setTabOrder(First_, Last_);
  Timer_ = new QTimer(this);
  Timer_->setInterval(33);
  Slider_->installEventFilter(this);

  connect(Timer_, &QTimer::timeout, this, &TTimeline::Step);
  connect(Play_, &QPushButton::toggled, this, [this](bool on) { on ? Play() : Stop(); });
  connect(Slider_, &QSlider::valueChanged, this, [this](int v) {
    if (Quiet_) return;
    SetFrame(v);
    emit FrameChanged(v);
  });
  connect(FrameField_, &QSpinBox::valueChanged, this, [this](int v) {
    if (Quiet_) return;
    SetFrame(v);
    emit FrameChanged(v);
  });
  auto range = [this] {
    if (Quiet_) return;
    const int first = First_->value(), last = std::max(First_->value(), Last_->value());
    SetRange(first, last);
    emit RangeChanged(first, last);
  };
  connect(First_, &QSpinBox::editingFinished, this, range);
  connect(Last_, &QSpinBox::editingFinished, this, range);
}

int TTimeline::Frame() const { return FrameField_->value(); }
bool TTimeline::Playing() const { return Timer_->isActive(); }

void TTimeline::SetRange(int first, int last) {
  Quiet_ = true;
  First_->setValue(first);
  Last_->setValue(last);
  Slider_->setRange(first, std::max(first, last));
  Quiet_ = false;
  Slider_->update();
}

void TTimeline::SetFrame(int frame) {
  Quiet_ = true;
  FrameField_->setValue(frame);
  Slider_->setValue(frame);
  Quiet_ = false;
}

void TTimeline::SetKeys(std::vector<float> keys) {
  Keys_ = std::move(keys);
  Slider_->update();
}

void TTimeline::Play() {
  if (!Timer_->isActive()) Timer_->start();
  Play_->setChecked(true);
  Play_->setText(tr("Stop"));
}

void TTimeline::Stop() {
  Timer_->stop();
  Play_->setChecked(false);
  Play_->setText(tr("Play"));
}

void TTimeline::Step() {
  const int first = First_->value(), last = std::max(first, Last_->value());
  int next = Frame() + 1;
  if (next > last || next < first) next = first;
  SetFrame(next);
  emit FrameChanged(next);
}

// Key marks: small diamonds under the slider's groove at the keys' frames.
bool TTimeline::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Slider_ && event->type() == QEvent::Paint && !Keys_.empty()) {
    // Let the slider paint itself first, then mark the keys over it.
    Slider_->removeEventFilter(this);
    QCoreApplication::sendEvent(Slider_, event);
    Slider_->installEventFilter(this);
    QPainter p(Slider_);
    QStyleOptionSlider opt;
    opt.initFrom(Slider_);
    opt.orientation = Qt::Horizontal;
    opt.minimum = Slider_->minimum();
    opt.maximum = Slider_->maximum();
    const QRect groove = Slider_->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, Slider_);
    const QRect handle = Slider_->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, Slider_);
    const int span = groove.width() - handle.width();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(230, 170, 40));
    for (float k : Keys_) {
      if (k < opt.minimum || k > opt.maximum) continue;
      const int x = groove.left() + handle.width() / 2 +
                    QStyle::sliderPositionFromValue(opt.minimum, opt.maximum, static_cast<int>(k), span);
      const int y = Slider_->height() - 5;
      const QPoint pts[4] = {{x, y - 4}, {x + 4, y}, {x, y + 4}, {x - 4, y}};
      p.drawPolygon(pts, 4);
    }
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace stage::studio
