#pragma once

#include "jet/DataAccess.h"

#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

class QObject;

namespace fwb {

// The language pack in use: the path of its database, empty when there is none. Opened once
// at start-up and kept for the program's life.
QString &LanguagePack();

// Opens the pack named by the settings when its file exists and can be read as a pack, and
// reads the rows the lookups use into memory. True when a pack is open.
bool OpenLanguagePack();

// The pack's global texts (Type 0, Form "GLOBAL") whose Name equals `english` without regard to
// letter case, as rows of Text and Name in stored order; nothing when the pack cannot be read.
// Answered from memory: the rows are read once and again only when the pack's file changes.
std::optional<QList<QList<jet::Cell>>> GlobalRows(const QString &english);

// One stored caption or text of a form's control.
struct FormItem
{
    QString Name;
    QString Text;
    std::int32_t Type = 0;   // 1 caption, 2 text; other values are ignored
    std::int16_t Index = -1; // element of a control array, -1 for a single control
};

// The pack's rows for one form; empty on any failure, so a damaged pack leaves a form whole.
QList<FormItem> LoadFormItems(const QString &formName);

// Applies the pack's captions and texts to the form's controls, found by object name.
void TranslateForm(QObject *form);

} // namespace fwb
