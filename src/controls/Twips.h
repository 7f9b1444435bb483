#pragma once

#include <QRect>

class QWidget;

namespace fwb {

// Form geometry is kept in twips (1/1440 inch), as the layouts were designed.
int TwipsToPixels(double twips);
double PixelsToTwips(int pixels);
void SetGeometryTwips(QWidget *widget, int left, int top, int width, int height);

// A control's place and size, and moves, in twips.
float LeftTwips(const QWidget *widget);
float TopTwips(const QWidget *widget);
float WidthTwips(const QWidget *widget);
float HeightTwips(const QWidget *widget);
void MoveTwips(QWidget *widget, float left, float top);
void SetLeftTwips(QWidget *widget, float twips);
void SetTopTwips(QWidget *widget, float twips);

} // namespace fwb
