#pragma once

#include <QTabBar>

class QStylePainter;

namespace fwb {

class CompactTabStyle;

// A row of tabs above a panel, the whole as tall as the control is made: the pages are
// separate frames laid over the panel, shown one at a time by whoever owns the strip.
// The tabs always fit the strip's width: their padding narrows first, then their captions
// are set in a smaller type.
class TabStrip : public QTabBar
{
public:
    explicit TabStrip(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void tabInserted(int index) override;
    void tabRemoved(int index) override;

private:
    void fitTabs();
    int tabsWidth() const;
    int tabRowHeight() const;
    void drawTab(QStylePainter &painter, int index) const;

    CompactTabStyle *m_style = nullptr;
    bool m_fitting = false;
};

} // namespace fwb
