#include "jet/writer/JetWriter.h"

#include "jet/writer/DatabaseImage.h"
#include "jet/writer/UserTables.h"

#include <QDateTime>
#include <QSaveFile>

namespace fwb::jet {

std::optional<QByteArray> buildDatabase(const QList<TableData> &tables, QString *error)
{
    QString problem;
    auto specs = writer::userTables(tables, &problem);
    std::optional<QByteArray> image;
    if (specs)
        image = writer::databaseImage(*specs, QDateTime::currentDateTime(), &problem);
    if (!image && error)
        *error = problem;
    return image;
}

bool writeDatabase(const QString &path, const QList<TableData> &tables, QString *error)
{
    const auto image = buildDatabase(tables, error);
    if (!image)
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(*image) != image->size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("Cannot write \"%1\": %2.").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace fwb::jet
