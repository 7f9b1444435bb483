#pragma once

#include "system/Clock.h"

#include <QCoreApplication>

namespace fwb::test {

// A clock that skips its waits: it lets the pending events run once and then reads the end of
// the wait at once. Between waits it moves with the wall, so stamps still look like now.
class TestClock final : public Clock
{
public:
    QDateTime currentDateTime() const override
    {
        return QDateTime::fromMSecsSinceEpoch(currentMSecsSinceEpoch());
    }
    qint64 currentMSecsSinceEpoch() const override
    {
        return QDateTime::currentMSecsSinceEpoch() + m_skipped;
    }
    void runEventsUntil(qint64 endMs) override
    {
        QCoreApplication::processEvents();
        m_skipped += std::max<qint64>(0, endMs - currentMSecsSinceEpoch());
    }

private:
    qint64 m_skipped = 0;
};

} // namespace fwb::test
