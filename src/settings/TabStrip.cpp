#include "settings/TabStrip.h"

#include <QApplication>
#include <QProxyStyle>
#include <QStyleOptionTab>
#include <QStyleOptionTabWidgetFrame>
#include <QStylePainter>
#include <QWheelEvent>

namespace fwb {

// The style's own tab padding, narrowed where the strip asks for it.
class CompactTabStyle : public QProxyStyle
{
public:
    int pixelMetric(PixelMetric metric, const QStyleOption *option,
                    const QWidget *widget) const override
    {
        if (metric == PM_TabBarTabHSpace && padding >= 0)
            return padding;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }

    int padding = -1; // -1: the style's own
};

namespace {

constexpr int kNarrowestPadding = 8;
constexpr double kSmallestPointSize = 6.0;

} // namespace

TabStrip::TabStrip(QWidget *parent) : QTabBar(parent), m_style(new CompactTabStyle)
{
    m_style->setParent(this);
    setStyle(m_style);
    setDrawBase(false);
    setExpanding(false);
    setUsesScrollButtons(false);
    setElideMode(Qt::ElideNone);
}

int TabStrip::tabsWidth() const
{
    int width = 0;
    for (int i = 0; i < count(); ++i)
        width += tabSizeHint(i).width();
    return width;
}

void TabStrip::fitTabs()
{
    if (m_fitting)
        return;
    m_fitting = true;
    QFont type = parentWidget() ? parentWidget()->font() : QApplication::font();
    const int widest = m_style->baseStyle()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, this);
    m_style->padding = widest;
    while (true) {
        setFont(type);
        // Changing the elide mode is how a tab bar is told to measure its tabs again.
        setElideMode(Qt::ElideNone);
        const int excess = tabsWidth() - width();
        if (excess <= 0 || count() == 0)
            break;
        const int perTab = (excess + count() - 1) / count();
        if (m_style->padding - perTab >= kNarrowestPadding) {
            m_style->padding -= perTab;
        } else if (type.pointSizeF() > kSmallestPointSize) {
            type.setPointSizeF(std::max(kSmallestPointSize, type.pointSizeF() - 0.5));
            m_style->padding = widest;
        } else {
            break;
        }
    }
    // Even in the smallest type the captions may not fit: scroll buttons then keep every tab
    // within reach of the mouse.
    setUsesScrollButtons(tabsWidth() > width());
    m_fitting = false;
}

void TabStrip::resizeEvent(QResizeEvent *event)
{
    QTabBar::resizeEvent(event);
    fitTabs();
}

void TabStrip::tabInserted(int index)
{
    QTabBar::tabInserted(index);
    fitTabs();
}

void TabStrip::tabRemoved(int index)
{
    QTabBar::tabRemoved(index);
    fitTabs();
}

int TabStrip::tabRowHeight() const
{
    int height = 0;
    for (int i = 0; i < count(); ++i)
        height = std::max(height, tabRect(i).bottom() + 1);
    return height;
}

void TabStrip::drawTab(QStylePainter &painter, int index) const
{
    QStyleOptionTab tab;
    initStyleOption(&tab, index);
    painter.drawControl(QStyle::CE_TabBarTab, tab);
}

// The panel first, then the tabs over its top edge, the selected one last so it overlaps
// its neighbours. Tabs are held to their row: a style draws the selected one reaching down to
// meet the panel, which only a bar of tab height would cut off.
void TabStrip::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    const int row = tabRowHeight();
    QStyleOptionTabWidgetFrame panel;
    panel.initFrom(this);
    panel.shape = shape();
    panel.lineWidth = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, this);
    const int top = row - style()->pixelMetric(QStyle::PM_TabBarBaseOverlap, nullptr, this);
    panel.rect = QRect(0, top, width(), height() - top);
    panel.tabBarRect = QRect(0, 0, count() ? tabRect(count() - 1).right() + 1 : 0, row);
    panel.tabBarSize = panel.tabBarRect.size();
    if (currentIndex() >= 0)
        panel.selectedTabRect = tabRect(currentIndex());
    painter.drawPrimitive(QStyle::PE_FrameTabWidget, panel);

    painter.setClipRect(QRect(0, 0, width(), row));
    for (int i = 0; i < count(); ++i) {
        if (i != currentIndex())
            drawTab(painter, i);
    }
    if (currentIndex() >= 0)
        drawTab(painter, currentIndex());
}

// Only the tab row turns pages with the wheel; over the panel the wheel belongs to the page.
void TabStrip::wheelEvent(QWheelEvent *event)
{
    if (event->position().y() >= tabRowHeight()) {
        event->ignore();
        return;
    }
    QTabBar::wheelEvent(event);
}

} // namespace fwb
