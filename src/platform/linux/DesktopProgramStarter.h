#pragma once

#include "platform/ProgramStarter.h"

namespace fwb {

// Programs started with an argument vector; files opened with the desktop's opener
// (xdg-open) once xdg-mime names an application for their type (for backup sets, the
// registered backup-set type).
class DesktopProgramStarter final : public ProgramStarter
{
public:
    static constexpr const char *kBackupSetType = "application/x-fwb-backup-set";

    bool startDetached(const QString &program, const QStringList &arguments) override;
    OpenResult openWithDesktop(const QString &path) override;
    OpenResult openBackupSet(const QString &path) override;
};

} // namespace fwb
