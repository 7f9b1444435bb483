#pragma once

#include <QTabBar>

class QStylePainter;

namespace fwb {

class CompactTabStyle;

// A row of tabs above a panel, the whole as tall as the control is made: the pages are
// separate frames laid over the panel, shown one at a time by whoever owns the strip.
// Where the tabs are wider than the strip, their padding narrows first, then scroll buttons
// at the end of the tab row bring the others into view.
class TabStrip : public QTabBar
{
public:
    explicit TabStrip(QWidget *parent = nullptr);

    // The width at which the widest tab is wholly in view beside the scroll buttons.
    int widthForWidestTab() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void tabInserted(int index) override;
    void tabRemoved(int index) override;

private:
    void fitTabs();
    void holdScrollButtonsToRow();
    bool captionsWhole() const;
    int tabsWidth() const;
    int tabRowHeight() const;
    void drawTab(QStylePainter &painter, int index) const;

    CompactTabStyle *m_style = nullptr;
    bool m_fitting = false;
};

} // namespace fwb
