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

// A Wayland client can neither place its windows nor keep one above the others, and the
// count-down dialog needs both. Where the session also offers an X display (XWayland, which
// GNOME and KDE start for their X clients), the compositor honours both for X windows: there
// this puts "-platform xcb;wayland" on the command line, which Qt reads in `argc`/`argv` and
// the Agent in `arguments`, so that Qt tries X first and Wayland after it. A platform the user
// chose (-platform, QT_QPA_PLATFORM) stands. The command line it makes lives until the end.
void PreferXWayland(int &argc, char **&argv, QStringList &arguments);

} // namespace fwb
