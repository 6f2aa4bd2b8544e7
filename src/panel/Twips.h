// Window positions and sizes are kept in twips, 1/1440 inch. These convert them to and
// from device-independent pixels at the primary screen's logical resolution (15 twips to
// the pixel at 96 dots per inch).
#pragma once

namespace Twips {

double perPixel();
int toPixels(double twips);
double fromPixels(int pixels);

}  // namespace Twips
