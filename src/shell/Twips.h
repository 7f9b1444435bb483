#pragma once

#include <QRect>

class QWidget;

namespace fwb {

// Form geometry is kept in twips (1/1440 inch), as the layouts were designed.
int TwipsToPixels(double twips);
double PixelsToTwips(int pixels);
void SetGeometryTwips(QWidget *widget, int left, int top, int width, int height);

} // namespace fwb
