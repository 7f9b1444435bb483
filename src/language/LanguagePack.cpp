#include "language/LanguagePack.h"

#include "jet/DataAccess.h"
#include "store/AppPaths.h"
#include "store/Settings.h"
#include "system/Paths.h"

#include <QObject>
#include <QVariant>
#include <limits>
#include <optional>

namespace fwb {
namespace {

const QString kItems = QStringLiteral("Items");

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

QString &LanguagePack()
{
    static QString openPack;
    return openPack;
}

bool OpenLanguagePack()
{
    LanguagePack().clear();
    const QString path = appPaths().LanguagePacksFolder + settings().CurrentLanguage;
    if (!FileExists(path))
        return false;
    // A pack that exists but cannot be read is no pack: the program goes on in English.
    const auto tables = jet::DataAccess::instance().tables(path);
    if (!tables)
        return false;
    LanguagePack() = path;
    return true;
}

QList<FormItem> LoadFormItems(const QString &formName)
{
    if (LanguagePack().isEmpty())
        return {};
    const jet::Query query{kItems,
                           {QStringLiteral("Name"), QStringLiteral("Text"), QStringLiteral("Type"),
                            QStringLiteral("Index")},
                           {{QStringLiteral("Form"), QStringLiteral("AGENT_") + formName},
                            {QStringLiteral("Type"), QStringLiteral("0"), true}}};
    const auto table = jet::DataAccess::instance().select(LanguagePack(), query);
    // The rows were counted in a signed 16-bit number.
    if (!table || table->rows.size() > std::numeric_limits<std::int16_t>::max())
        return {};
    QList<FormItem> items;
    items.reserve(table->rows.size());
    for (const auto &row : table->rows) {
        const auto item = toFormItem(row);
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
