#pragma once

#include <QCheckBox>
#include <QRadioButton>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <type_traits>

namespace fwb {

// An option or check box whose caption wraps inside the control's width, as the layout's
// auto-sizing expects of a caption: the control is made as many lines tall as the text needs.
// The box stands beside the first line, and the whole control takes clicks.
template <typename Button> class WrappingButton : public Button
{
    static_assert(std::is_same_v<Button, QRadioButton> || std::is_same_v<Button, QCheckBox>);
    static constexpr bool kRadio = std::is_same_v<Button, QRadioButton>;

public:
    using Button::Button;

protected:
    bool hitButton(const QPoint &pos) const override { return this->rect().contains(pos); }

    void paintEvent(QPaintEvent *) override
    {
        QStylePainter painter(this);
        QStyleOptionButton option;
        this->initStyleOption(&option);
        const QStyle *style = this->style();
        const QRect contents = style->subElementRect(
            kRadio ? QStyle::SE_RadioButtonContents : QStyle::SE_CheckBoxContents, &option, this);
        int flags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
        if (!style->styleHint(QStyle::SH_UnderlineShortcut, &option, this))
            flags |= Qt::TextHideMnemonic;
        QString text = this->text();
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        const QRect block = option.fontMetrics.boundingRect(contents, flags, text);

        QStyleOptionButton box = option;
        box.rect = style->subElementRect(
            kRadio ? QStyle::SE_RadioButtonIndicator : QStyle::SE_CheckBoxIndicator, &option, this);
        const int firstLineMiddle = block.top() + option.fontMetrics.height() / 2;
        box.rect.moveTop(std::max(0, firstLineMiddle - box.rect.height() / 2));
        painter.drawPrimitive(
            kRadio ? QStyle::PE_IndicatorRadioButton : QStyle::PE_IndicatorCheckBox, box);
        painter.drawItemText(contents, flags, option.palette, this->isEnabled(), text,
                             QPalette::WindowText);
        if (option.state & QStyle::State_HasFocus) {
            QStyleOptionFocusRect focus;
            focus.initFrom(this);
            focus.rect = block.adjusted(-1, 0, 1, 0) & this->rect();
            painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
        }
    }
};

using WrappingRadioButton = WrappingButton<QRadioButton>;
using WrappingCheckBox = WrappingButton<QCheckBox>;

} // namespace fwb
