#pragma once

#include "jet/engine/Mdb.h"

#include <QByteArrayView>

namespace fwb::jet::engine {

// Whether libmdb may read the catalog of a file it has opened. libmdb trusts what it reads: a
// page the file does not hold leaves the previous page's bytes in its buffer, and a property
// record of length 0 read from there keeps its property parser on that record for ever. So the
// catalog is walked first, cheaply and with every pointer checked: the file is whole pages, every
// page of the catalog table and of its rows' properties lies inside the file and belongs to them,
// and every property list ends.
bool catalogIsSound(MdbHandle *mdb, qint64 fileSize);

// Whether libmdb's parser of a property list (an object's LvProp value in the catalog) reaches
// its end without reading past it.
bool propertiesEnd(QByteArrayView properties);

} // namespace fwb::jet::engine
