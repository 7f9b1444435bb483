#pragma once

#include <QString>

namespace fwb {

enum class BoxIcon { None, Information, Stop };

// Modal message boxes with one OK button.
class MessageBoxes
{
public:
    virtual ~MessageBoxes() = default;
    virtual void show(const QString &text, const QString &title, BoxIcon icon) = 0;
};

} // namespace fwb
