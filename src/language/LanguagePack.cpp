#include "language/LanguagePack.h"

#include "jet/CellCompare.h"
#include "jet/DataAccess.h"
#include "store/AppPaths.h"
#include "store/Settings.h"
#include "system/Background.h"
#include "system/FileNames.h"
#include "system/Paths.h"

#include <QHash>
#include <QObject>
#include <QVariant>
#include <chrono>
#include <filesystem>
#include <future>
#include <limits>
#include <optional>

namespace fwb {
namespace {

const QString kItems = QStringLiteral("Items");

// What tells a changed pack file from the one read: its size and modification time.
struct FileStamp
{
    std::uintmax_t size = 0;
    std::filesystem::file_time_type modified;

    bool operator==(const FileStamp &) const = default;
};

std::optional<FileStamp> fileStamp(const QString &path)
{
    std::error_code error;
    const std::filesystem::directory_entry entry(EncodeFileName(path).toStdString(), error);
    if (error)
        return std::nullopt;
    FileStamp stamp{entry.file_size(error), entry.last_write_time(error)};
    if (error)
        return std::nullopt;
    return stamp;
}

// Rows of one select, grouped by one of their text columns with letter case folded, so a lookup
// finds the few rows Jet's case-blind comparison could match without a scan.
struct GroupedRows
{
    QList<QList<jet::Cell>> rows;
    QHash<QString, QList<qsizetype>> byKey;

    GroupedRows(QList<QList<jet::Cell>> read, int keyColumn) : rows(std::move(read))
    {
        for (qsizetype r = 0; r < rows.size(); ++r) {
            if (const jet::Cell &key = rows.at(r).at(keyColumn))
                byKey[key->toCaseFolded()].append(r);
        }
    }

    // The rows whose key column equals `key` as the engine compares text, in stored order.
    QList<QList<jet::Cell>> matching(const QString &key, int keyColumn) const
    {
        QList<QList<jet::Cell>> found;
        for (qsizetype r : byKey.value(key.toCaseFolded())) {
            if (jet::conditionHolds(rows.at(r).at(keyColumn), key, false, jet::CompareAs::Text))
                found.append(rows.at(r));
        }
        return found;
    }
};

// The rows of the open pack that the two lookups query: the global texts (Text, Name) and the
// forms' rows (Form, Name, Text, Type, Index). Each is nothing when its select failed, so a
// lookup fails as its query would have.
struct PackRows
{
    QString path;
    std::optional<FileStamp> stamp;
    std::optional<GroupedRows> globals;
    std::optional<GroupedRows> forms;
};

constexpr int kGlobalName = 1;
constexpr int kFormOfRow = 0;

std::optional<GroupedRows> readRows(const QString &path, const jet::Query &query, int keyColumn)
{
    std::optional<jet::Table> table = jet::DataAccess::instance().select(path, query);
    if (!table)
        return std::nullopt;
    return GroupedRows(std::move(table->rows), keyColumn);
}

PackRows readPack(const QString &path, std::optional<FileStamp> stamp)
{
    const jet::Query globals{kItems,
                             {QStringLiteral("Text"), QStringLiteral("Name")},
                             {{QStringLiteral("Type"), QStringLiteral("0")},
                              {QStringLiteral("Form"), QStringLiteral("GLOBAL")}}};
    const jet::Query forms{kItems,
                           {QStringLiteral("Form"), QStringLiteral("Name"), QStringLiteral("Text"),
                            QStringLiteral("Type"), QStringLiteral("Index")},
                           {{QStringLiteral("Type"), QStringLiteral("0"), true}}};
    return {path, stamp, readRows(path, globals, kGlobalName), readRows(path, forms, kFormOfRow)};
}

std::optional<PackRows> &cachedPack()
{
    static std::optional<PackRows> cached;
    return cached;
}

// How long a lookup waits for a changed pack to be read again before it makes do with the rows
// read before: a damaged pack can cost the engine its processor limit, and the window never
// waits that long.
constexpr std::chrono::milliseconds kLookupWait(50);

// The one reading of a changed pack under way, if any.
std::optional<std::future<PackRows>> &packReading()
{
    // The engines outlive this static, whose end waits for a reading still under way.
    jet::DataAccess::instance();
    static std::optional<std::future<PackRows>> reading;
    return reading;
}

// Reads the pack again on a thread of its own and takes its rows once they are in.
void readAgain(const QString &path, std::optional<FileStamp> stamp)
{
    std::optional<std::future<PackRows>> &reading = packReading();
    if (!reading)
        reading = std::async(std::launch::async, [path, stamp] { return readPack(path, stamp); });
    // Rows of an earlier change are taken all the same; the next lookup sees that the file
    // changed again since and reads it once more.
    if (reading->wait_for(kLookupWait) == std::future_status::ready) {
        cachedPack() = reading->get();
        reading.reset();
    }
}

// The rows of the pack in use, read again when the pack or its file has changed; nothing
// without a pack, or while the rows of a newly chosen pack are still being read.
const PackRows *packRows()
{
    std::optional<PackRows> &cached = cachedPack();
    const QString &path = LanguagePack();
    if (path.isEmpty()) {
        cached.reset();
        return nullptr;
    }
    // A pack file that has gone keeps its rows, as an open database would; one that was
    // replaced or rewritten is read again.
    const std::optional<FileStamp> stamp = fileStamp(path);
    if (!cached || cached->path != path || (stamp && cached->stamp != stamp))
        readAgain(path, stamp);
    return cached && cached->path == path ? &*cached : nullptr;
}

// Whole numbers as the pack stores them; a fraction rounds half to even, as the original
// conversion did. Anything else is not a number.
std::optional<qint64> wholeNumber(const jet::Cell &cell)
{
    if (!cell)
        return std::nullopt;
    bool ok = false;
    const qint64 whole = cell->trimmed().toLongLong(&ok);
    if (ok)
        return whole;
    const double value = cell->trimmed().toDouble(&ok);
    if (!ok || value < double(std::numeric_limits<qint64>::min()) ||
        value > double(std::numeric_limits<qint64>::max()))
        return std::nullopt;
    return static_cast<qint64>(std::nearbyint(value));
}

std::optional<FormItem> toFormItem(const QList<jet::Cell> &row)
{
    const auto type = wholeNumber(row.at(2));
    const auto index = wholeNumber(row.at(3));
    if (!row.at(0) || !row.at(1) || !type || !index)
        return std::nullopt;
    if (*type < std::numeric_limits<std::int32_t>::min() ||
        *type > std::numeric_limits<std::int32_t>::max() ||
        *index < std::numeric_limits<std::int16_t>::min() ||
        *index > std::numeric_limits<std::int16_t>::max())
        return std::nullopt;
    return FormItem{*row.at(0), *row.at(1), static_cast<std::int32_t>(*type),
                    static_cast<std::int16_t>(*index)};
}

// The Qt property that holds a control's caption (type 1) or text (type 2), if it has one.
const char *propertyFor(const QObject *control, std::int32_t type)
{
    const bool textBox = control->inherits("QLineEdit") || control->inherits("QPlainTextEdit") ||
                         control->inherits("QTextEdit");
    if (type == 2) {
        if (control->inherits("QLineEdit"))
            return "text";
        return textBox ? "plainText" : nullptr;
    }
    if (textBox)
        return nullptr;
    const QMetaObject *meta = control->metaObject();
    if (meta->indexOfProperty("title") >= 0)
        return "title";
    return meta->indexOfProperty("text") >= 0 ? "text" : nullptr;
}

// A control by name; with an index, that element of the control array of that name.
QObject *findControl(QObject *form, const QString &name, std::int16_t index)
{
    const auto candidates = form->findChildren<QObject *>(name);
    for (QObject *candidate : candidates) {
        const QVariant element = candidate->property("Index");
        if (index == -1 ? !element.isValid() : element.isValid() && element.toInt() == index)
            return candidate;
    }
    return nullptr;
}

} // namespace

bool OpenLanguagePack()
{
    LanguagePack().clear();
    const QString path = appPaths().LanguagePacksFolder + settings().CurrentLanguage;
    if (!FileExists(path))
        return false;
    // Read while the events run: a damaged pack can keep the engine busy until its processor
    // limit ends it.
    std::optional<PackRows> rows;
    RunWhileEventsRun([&] {
        // A pack that exists but cannot be read is no pack: the program goes on in English.
        if (jet::DataAccess::instance().tables(path))
            rows = readPack(path, fileStamp(path));
    });
    if (!rows)
        return false;
    LanguagePack() = path;
    cachedPack() = std::move(rows);
    return true;
}

std::optional<QList<QList<jet::Cell>>> GlobalRows(const QString &english)
{
    const PackRows *pack = packRows();
    if (!pack || !pack->globals)
        return std::nullopt;
    return pack->globals->matching(english, kGlobalName);
}

QList<FormItem> LoadFormItems(const QString &formName)
{
    const PackRows *pack = packRows();
    if (!pack || !pack->forms)
        return {};
    const QList<QList<jet::Cell>> rows =
        pack->forms->matching(QStringLiteral("AGENT_") + formName, kFormOfRow);
    // The rows were counted in a signed 16-bit number.
    if (rows.size() > std::numeric_limits<std::int16_t>::max())
        return {};
    QList<FormItem> items;
    items.reserve(rows.size());
    for (const auto &row : rows) {
        const auto item = toFormItem(row.sliced(1));
        if (!item)
            return {};
        items.append(*item);
    }
    return items;
}

void TranslateForm(QObject *form)
{
    const QList<FormItem> items = LoadFormItems(form->objectName());
    for (const FormItem &item : items) {
        if (item.Type != 1 && item.Type != 2)
            continue;
        QObject *control = findControl(form, item.Name, item.Index);
        if (!control)
            continue;
        if (const char *property = propertyFor(control, item.Type))
            control->setProperty(property, item.Text);
    }
}

} // namespace fwb
