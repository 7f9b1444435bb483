#pragma once

#include "platform/AutoStartStore.h"

#include <QStringList>

namespace fwb {

// Keeps the entry in memory, records every change asked for, and can refuse changes the way
// a read-only or full disk would.
class FakeAutoStartStore final : public AutoStartStore
{
public:
    Entry read() const override { return entry; }
    bool write(const QString &program) override
    {
        changes.append(QStringLiteral("write ") + program);
        if (refuseWrites)
            return false;
        entry = {Entry::Kind::Program, program};
        return true;
    }
    bool remove() override
    {
        changes.append(QStringLiteral("remove"));
        if (refuseRemoves)
            return false;
        entry = {};
        return true;
    }

    Entry entry;
    bool refuseWrites = false;
    bool refuseRemoves = false;
    QStringList changes;
};

} // namespace fwb
