#include "platform/DriveArrivalSource.h"

namespace fwb {

DriveArrivalSource::DriveArrivalSource(QObject *parent) : QObject(parent) {}

DriveArrivalSource::~DriveArrivalSource() = default;

} // namespace fwb
