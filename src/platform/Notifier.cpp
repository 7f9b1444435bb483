#include "platform/Notifier.h"

#include "platform/Platform.h"

namespace fwb {

void Notify(const QString &title, const QString &text)
{
    if (platform().notifier)
        platform().notifier->notify(title, text);
}

} // namespace fwb
