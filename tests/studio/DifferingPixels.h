// How much of a view changed between two grabs of it: the studio's tests judge a drawn preview by it.
#pragma once

#include <QImage>

// Pixels of a picture that differ from another of the same size (all of them when the sizes differ).
inline int DifferingPixels(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return a.width() * a.height();
  int n = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) n += a.pixel(x, y) != b.pixel(x, y);
  return n;
}
