// Where a frame of fixed size sits in a window of another size: scaled to
// fit with its aspect kept, centred. The window's mouse mapping and the
// present path use the same figures, so a pointer lands on the pixel it shows.
#pragma once
#include <algorithm>

struct FrameViewport {
  double scale;
  double left;  // window pixels
  double top;
};

inline FrameViewport FitFrameInWindow(int windowWidth, int windowHeight, int frameWidth,
                                      int frameHeight) {
  if (windowWidth <= 0 || windowHeight <= 0 || frameWidth <= 0 || frameHeight <= 0) {
    return {1.0, 0.0, 0.0};
  }
  double scale = std::min(static_cast<double>(windowWidth) / frameWidth,
                          static_cast<double>(windowHeight) / frameHeight);
  return {scale, (windowWidth - frameWidth * scale) / 2.0, (windowHeight - frameHeight * scale) / 2.0};
}
