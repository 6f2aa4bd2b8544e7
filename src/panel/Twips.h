// Window positions and sizes are kept in twips, 1/1440 inch. These convert them to and
// from device-independent pixels at the primary screen's logical resolution (15 twips to
// the pixel at 96 dots per inch).
#pragma once

#include <QRect>

namespace Twips {

double perPixel();
int toPixels(double twips);
// A rectangle given in twips (left, top, width, height), in pixels.
QRect toPixels(int left, int top, int width, int height);
double fromPixels(int pixels);

}  // namespace Twips
