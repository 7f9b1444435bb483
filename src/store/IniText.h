#pragma once

#include <QString>
#include <QStringView>
#include <optional>

// The private-profile rules on decoded text, without files: finding a value and setting one.
namespace fwb::ini {

// The value of `key` in the first section named `section`: blanks around it removed, then cut
// at a NUL, then one pair of matching quotes taken off. Nothing when the section or key is absent
// or the key's line has no '='. Names match without regard to letter case; spaces (and only
// spaces) around `section` and `key` do not count.
std::optional<QString> findValue(QStringView text, QStringView section, QStringView key);

// `text` with `key` in `section` set to `value`. An existing key's line becomes
// "name=value" with the name spelled as it was and the line's own ending; a new key follows
// the last key line of the section; a new section goes at the end. Everything else is kept.
QString withValue(QStringView text, QStringView section, QStringView key, QStringView value);

} // namespace fwb::ini
