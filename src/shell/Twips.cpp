#include "shell/Twips.h"

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

} // namespace fwb
