#include "controls/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

namespace fwb {
namespace {

double logicalDpi()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchX() : 96.0;
}

} // namespace

int TwipsToPixels(double twips)
{
    return static_cast<int>(std::lround(twips * logicalDpi() / 1440.0));
}

double PixelsToTwips(int pixels)
{
    return pixels * 1440.0 / logicalDpi();
}

void SetGeometryTwips(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width),
                        TwipsToPixels(height));
}

float LeftTwips(const QWidget *widget)
{
    return static_cast<float>(PixelsToTwips(widget->x()));
}

float TopTwips(const QWidget *widget)
{
    return static_cast<float>(PixelsToTwips(widget->y()));
}

float WidthTwips(const QWidget *widget)
{
    return static_cast<float>(PixelsToTwips(widget->width()));
}

float HeightTwips(const QWidget *widget)
{
    return static_cast<float>(PixelsToTwips(widget->height()));
}

void MoveTwips(QWidget *widget, float left, float top)
{
    widget->move(TwipsToPixels(left), TwipsToPixels(top));
}

void SetLeftTwips(QWidget *widget, float twips)
{
    widget->move(TwipsToPixels(twips), widget->y());
}

void SetTopTwips(QWidget *widget, float twips)
{
    widget->move(widget->x(), TwipsToPixels(twips));
}

} // namespace fwb
