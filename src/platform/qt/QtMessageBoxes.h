#pragma once

#include "platform/MessageBoxes.h"

namespace fwb {

class QtMessageBoxes final : public MessageBoxes
{
public:
    void show(const QString &text, const QString &title, BoxIcon icon) override;
};

} // namespace fwb
