#pragma once

#include "platform/ComponentHost.h"

namespace fwb {

// Linux has no common program-files folder and no self-registering components: nothing is
// copied, every component counts as registered, and no command is started.
class LinuxComponentHost final : public ComponentHost
{
public:
    QString specialFolderPath(int) const override { return {}; }
    bool copyFile(const QString &, const QString &) override { return false; }
    long registerServer(const QString &) override { return 0; }
    void startCommand(const QString &, WindowStyle) override {}
};

} // namespace fwb
