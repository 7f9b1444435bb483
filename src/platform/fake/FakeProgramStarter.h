#pragma once

#include "platform/ProgramStarter.h"

#include <QList>
#include <functional>

namespace fwb {

// Records what would have been started.
class FakeProgramStarter final : public ProgramStarter
{
public:
    struct Start
    {
        QString program;
        QStringList arguments;
    };

    bool startDetached(const QString &program, const QStringList &arguments) override
    {
        started.append({program, arguments});
        if (onStart)
            onStart(started.last());
        return startSucceeds;
    }
    OpenResult openWithDesktop(const QString &path) override
    {
        opened.append(path);
        return openResult;
    }
    OpenResult openBackupSet(const QString &path) override { return openWithDesktop(path); }

    QList<Start> started;
    QStringList opened;
    bool startSucceeds = true;
    OpenResult openResult = OpenResult::Opened;
    std::function<void(const Start &)> onStart;
};

} // namespace fwb
