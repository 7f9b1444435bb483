#pragma once

#include <QList>
#include <QString>
#include <cstdint>

class QObject;

namespace fwb {

// The language pack in use: the path of its database, empty when there is none. Opened once
// at start-up and kept for the program's life.
QString &LanguagePack();

// Opens the pack named by the settings when its file exists and can be read as a pack.
// True when a pack is open.
bool OpenLanguagePack();

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
