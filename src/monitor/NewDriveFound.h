#pragma once

#include <QString>

namespace fwb {

// What the Agent does when a drive arrives: log it, find the backup sets it triggers and
// start them, or hand them to the count-down or confirmation.
void NewDriveFound(const QString &rootPath);

} // namespace fwb
