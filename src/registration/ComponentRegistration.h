#pragma once

#include <QString>
#include <QStringList>

namespace fwb {

// The libraries registered after the data-access library, in order.
const QStringList &RegisteredComponents();

// Registers the components the Agent and the backup program depend on; run on the first start
// of a program generation. Nothing here can stop start-up.
void RegisterComponents();

} // namespace fwb
