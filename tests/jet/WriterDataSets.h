#pragma once

#include "jet/writer/JetWriter.h"

#include <QList>
#include <QStringList>

// Databases to write and read back, each meant to catch a different way a writer goes wrong.
namespace fwb::test {

QStringList writerDataSetNames();
QList<jet::TableData> writerDataSet(const QString &name);

} // namespace fwb::test
