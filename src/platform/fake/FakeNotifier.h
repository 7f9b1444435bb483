#pragma once

#include "platform/Notifier.h"

#include <QList>
#include <utility>

namespace fwb {

// Records the notifications raised, as (title, text).
class FakeNotifier final : public Notifier
{
public:
    void notify(const QString &title, const QString &text) override { shown.append({title, text}); }

    QList<std::pair<QString, QString>> shown;
};

} // namespace fwb
