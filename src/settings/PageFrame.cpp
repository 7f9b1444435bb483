#include "settings/PageFrame.h"

#include "controls/Twips.h"

#include <QPainter>
#include <QStyle>
#include <QWidget>

namespace fwb {
namespace {

// The page's controls stand 225 twips in from the left and are 4245 twips wide; the heading
// takes the same column.
constexpr int kColumnLeft = 225;
constexpr int kColumnWidth = 4245;
constexpr int kCaptionTop = 50;
constexpr int kGapBelowCaption = 120;
constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;

QFont captionFont(const QWidget *frame)
{
    QFont font = frame->font();
    font.setBold(true);
    return font;
}

} // namespace

QRect PageFrame::captionRect() const
{
    const QRect column(TwipsToPixels(kColumnLeft), TwipsToPixels(kCaptionTop),
                       TwipsToPixels(kColumnWidth), QWIDGETSIZE_MAX / 2);
    if (title().isEmpty())
        return column.adjusted(0, 0, 0, -column.height());
    return QFontMetrics(captionFont(this)).boundingRect(column, kTextFlags, title());
}

int PageFrame::contentTopTwips() const
{
    const QRect caption = captionRect();
    if (caption.height() == 0)
        return kCaptionTop;
    return static_cast<int>(PixelsToTwips(caption.bottom() + 1)) + kGapBelowCaption;
}

void PageFrame::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setFont(captionFont(this));
    style()->drawItemText(&painter, captionRect(), kTextFlags, palette(), isEnabled(), title(),
                          QPalette::WindowText);
}

} // namespace fwb
