#include "jet/DataAccess.h"

namespace fwb::jet {

int Table::columnIndex(const QString &name) const
{
    for (qsizetype i = 0; i < columns.size(); ++i) {
        if (columns.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

} // namespace fwb::jet
