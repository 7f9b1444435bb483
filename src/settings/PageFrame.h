#pragma once

#include <QGroupBox>

namespace fwb {

// A frame that holds one tab page. It lies on the tab strip's panel, under the tab that names
// the page, so it draws no border; its caption is the page's heading, wrapped to the width the
// page's controls have, and the controls are laid out below it.
class PageFrame : public QGroupBox
{
public:
    using QGroupBox::QGroupBox;

    // Where the first control may start, in twips from the frame's top.
    int contentTopTwips() const;

protected:
    void paintEvent(QPaintEvent *) override;

private:
    QRect captionRect() const;
};

} // namespace fwb
