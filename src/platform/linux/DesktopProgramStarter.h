#pragma once

#include "platform/ProgramStarter.h"

namespace fwb {

// Programs started with an argument vector; files opened with the desktop's opener
// (xdg-open) once xdg-mime says an application is associated with their type.
class DesktopProgramStarter final : public ProgramStarter
{
public:
    bool startDetached(const QString &program, const QStringList &arguments) override;
    OpenResult openWithDesktop(const QString &path) override;
};

} // namespace fwb
