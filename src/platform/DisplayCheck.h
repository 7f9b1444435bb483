#pragma once

#include <QString>
#include <QStringList>

namespace fwb {

// Why none of the display platforms Qt would try for this command line and environment can
// be opened, as one line; empty when one can, or when Qt is to use a platform that needs no
// display server (offscreen, vnc, ...). Qt aborts with a long report when it finds no
// platform, so the Agent asks this first. arguments are the program's, without its name.
// The folder of the system the program is built for defines it.
QString NoDisplayReason(const QStringList &arguments);

} // namespace fwb
