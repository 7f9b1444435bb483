#pragma once

#include <QGroupBox>

namespace fwb {

// A frame that holds one tab page: it groups and shows or hides its controls and carries a
// caption (read by assistive technology as the page's name), but draws neither border nor
// caption, since it lies on the tab strip's panel under the tab that already names it.
class PageFrame : public QGroupBox
{
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent *) override {}
};

} // namespace fwb
