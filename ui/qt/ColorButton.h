// A push button in one flat colour with white bold text, lighter while the pointer is over it or
// it is pressed: the Play, Stop and Rewind buttons of the main panel and the shuttle.
#pragma once

#include <QColor>
#include <QPushButton>

class TColorButton : public QPushButton {
 public:
  explicit TColorButton(const QString& text, QWidget* parent = nullptr);
  void SetColors(const QColor& color, const QColor& highlight);
  QColor Color() const { return Color_; }
  QColor Highlight() const { return Highlight_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor Color_{Qt::gray}, Highlight_{Qt::lightGray};
};

// The colours of the three buttons.
namespace buttoncolors {
inline const QColor Play{0, 128, 0}, PlayHighlight{0, 151, 0};
inline const QColor Stop{128, 0, 0}, StopHighlight{223, 0, 0};
inline const QColor Rewind{128, 0, 128}, RewindHighlight{174, 0, 174};
}  // namespace buttoncolors
