#include "settings/TabStrip.h"

#include <QProxyStyle>
#include <QStyleOptionTab>
#include <QStyleOptionTabWidgetFrame>
#include <QStylePainter>
#include <QToolButton>
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

} // namespace

TabStrip::TabStrip(QWidget *parent) : QTabBar(parent), m_style(new CompactTabStyle)
{
    m_style->setParent(this);
    setStyle(m_style);
    setDrawBase(false);
    setExpanding(false);
    setUsesScrollButtons(false);
    setElideMode(Qt::ElideNone);
    // The tab bar centres its scroll buttons in its whole height, which here takes in the
    // panel: they are held to the tab row whenever it places them.
    for (QToolButton *button : findChildren<QToolButton *>(Qt::FindDirectChildrenOnly))
        button->installEventFilter(this);
}

int TabStrip::widthForWidestTab() const
{
    int widest = 0;
    for (int i = 0; i < count(); ++i)
        widest = std::max(widest, tabSizeHint(i).width());
    return widest + 2 * style()->pixelMetric(QStyle::PM_TabBarScrollButtonWidth, nullptr, this);
}

int TabStrip::tabsWidth() const
{
    int width = 0;
    for (int i = 0; i < count(); ++i)
        width += tabSizeHint(i).width();
    return width;
}

// Captions keep the program's type: the padding narrows first, as far as the captions stay
// whole, and where that is not enough, scroll buttons keep every tab within reach.
void TabStrip::fitTabs()
{
    if (m_fitting)
        return;
    m_fitting = true;
    const int widest = m_style->baseStyle()->pixelMetric(QStyle::PM_TabBarTabHSpace, nullptr, this);
    m_style->padding = widest;
    // Changing the elide mode is how a tab bar is told to measure its tabs again.
    setElideMode(Qt::ElideNone);
    while (count() > 0 && tabsWidth() > width() && m_style->padding > kNarrowestPadding) {
        const int perTab = (tabsWidth() - width() + count() - 1) / count();
        const int previous = m_style->padding;
        m_style->padding = std::max(kNarrowestPadding, previous - perTab);
        setElideMode(Qt::ElideNone);
        // Some styles keep more room around a caption than the padding they were asked for.
        if (!captionsWhole()) {
            m_style->padding = previous;
            setElideMode(Qt::ElideNone);
            break;
        }
    }
    setUsesScrollButtons(tabsWidth() > width());
    m_fitting = false;
    holdScrollButtonsToRow();
}

bool TabStrip::captionsWhole() const
{
    for (int i = 0; i < count(); ++i) {
        QStyleOptionTab tab;
        initStyleOption(&tab, i);
        tab.rect = QRect(QPoint(), tabSizeHint(i));
        const QRect text = style()->subElementRect(QStyle::SE_TabBarTabText, &tab, this);
        if (text.width() < fontMetrics().size(Qt::TextShowMnemonic, tabText(i)).width())
            return false;
    }
    return true;
}

void TabStrip::holdScrollButtonsToRow()
{
    const int row = tabRowHeight();
    if (row <= 0)
        return;
    for (QToolButton *button : findChildren<QToolButton *>(Qt::FindDirectChildrenOnly)) {
        if (button->y() != 0 || button->height() != row)
            button->setGeometry(button->x(), 0, button->width(), row);
    }
}

bool TabStrip::eventFilter(QObject *watched, QEvent *event)
{
    if ((event->type() == QEvent::Resize || event->type() == QEvent::Move) &&
        qobject_cast<QToolButton *>(watched))
        holdScrollButtonsToRow();
    return QTabBar::eventFilter(watched, event);
}

void TabStrip::changeEvent(QEvent *event)
{
    QTabBar::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fitTabs();
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
