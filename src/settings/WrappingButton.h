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

    bool hasHeightForWidth() const override { return true; }
    // As tall as the wrapped caption, or as the box where that is taller.
    int heightForWidth(int width) const override
    {
        QStyleOptionButton option;
        this->initStyleOption(&option);
        option.rect = QRect(0, 0, width, QWIDGETSIZE_MAX / 2);
        const QRect contents = this->style()->subElementRect(contentsElement(), &option, this);
        const int flags = (kTextFlags & ~Qt::AlignVCenter) | Qt::AlignTop | Qt::TextShowMnemonic;
        const QRect block = option.fontMetrics.boundingRect(contents, flags, shownText());
        const QRect box = this->style()->subElementRect(indicatorElement(), &option, this);
        return std::max(block.bottom() + 1, box.height());
    }

protected:
    bool hitButton(const QPoint &pos) const override { return this->rect().contains(pos); }

    void paintEvent(QPaintEvent *) override
    {
        QStylePainter painter(this);
        QStyleOptionButton option;
        this->initStyleOption(&option);
        const QStyle *style = this->style();
        QRect contents = style->subElementRect(contentsElement(), &option, this);
        int flags = kTextFlags | Qt::TextShowMnemonic;
        if (!style->styleHint(QStyle::SH_UnderlineShortcut, &option, this))
            flags |= Qt::TextHideMnemonic;
        const QString text = shownText();
        // Centred where it fits, as the layouts expect; a caption taller than the control
        // starts at its top instead of losing its first line.
        const int textHeight = option.fontMetrics.boundingRect(contents, flags, text).height();
        if (textHeight > contents.height())
            contents = QRect(contents.left(), 0, contents.width(), this->height());
        const int align = textHeight > contents.height() ? Qt::AlignTop : Qt::AlignVCenter;
        flags = (flags & ~Qt::AlignVCenter) | align;
        const QRect block = option.fontMetrics.boundingRect(contents, flags, text);

        QStyleOptionButton box = option;
        box.rect = style->subElementRect(indicatorElement(), &option, this);
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

private:
    static constexpr int kTextFlags = Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap;

    static QStyle::SubElement contentsElement()
    {
        return kRadio ? QStyle::SE_RadioButtonContents : QStyle::SE_CheckBoxContents;
    }
    static QStyle::SubElement indicatorElement()
    {
        return kRadio ? QStyle::SE_RadioButtonIndicator : QStyle::SE_CheckBoxIndicator;
    }
    QString shownText() const
    {
        QString text = this->text();
        return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    }
};

using WrappingRadioButton = WrappingButton<QRadioButton>;
using WrappingCheckBox = WrappingButton<QCheckBox>;

} // namespace fwb
