#pragma once

#include <QObject>
#include <QString>

namespace fwb {

// Tells when a volume becomes reachable: one driveArrived() per arrival, on the thread the
// source lives in, and none while it is not running.
class DriveArrivalSource : public QObject
{
    Q_OBJECT

public:
    explicit DriveArrivalSource(QObject *parent = nullptr);
    ~DriveArrivalSource() override;

    // Starts watching. Volumes already present now never count as arrivals. True when the
    // source runs (also when it already ran).
    virtual bool start() = 0;
    // Stops watching; arrivals not yet delivered are dropped.
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;

Q_SIGNALS:
    // `rootPath` is the volume's mount point with a trailing "/".
    void driveArrived(const QString &rootPath);
};

} // namespace fwb
