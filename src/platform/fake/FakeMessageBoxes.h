#pragma once

#include "platform/MessageBoxes.h"

#include <QList>
#include <functional>

namespace fwb {

// Records the boxes instead of showing them.
class FakeMessageBoxes final : public MessageBoxes
{
public:
    struct Box
    {
        QString text;
        QString title;
        BoxIcon icon;
    };

    void show(const QString &text, const QString &title, BoxIcon icon) override
    {
        shown.append({text, title, icon});
        if (onShow)
            onShow(shown.last());
    }

    QList<Box> shown;
    std::function<void(const Box &)> onShow; // runs while the "box" is open
};

} // namespace fwb
