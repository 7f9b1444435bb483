#pragma once

#include <QString>

namespace fwb {

// The volume serial as Windows shows it ("1A2B-3C4D") from a filesystem id as the Linux
// probes report it. FAT and exFAT ids already have that form; an NTFS id is 64 bits, of which
// Windows shows the low half. Other filesystems have no 32-bit serial: the empty text. So is
// an id that does not have its filesystem's form.
QString serialTextFromFsId(const QString &fsType, const QString &uuid);

// The label as the new-drive log and the label triggers show it: the label up to the first
// NUL, spaces kept; a label that is empty or only spaces becomes "[No label]" in the open
// language, "[" + `translatedNoLabel` + "]".
QString labelTextFor(const QString &rawLabel, const QString &translatedNoLabel);

} // namespace fwb
