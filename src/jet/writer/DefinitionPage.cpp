#include "jet/writer/DefinitionPage.h"

#include "jet/writer/Bytes.h"
#include "jet/writer/Format.h"
#include "jet/writer/Rc4.h"

#include <QtEndian>
#include <cmath>

namespace fwb::jet::writer {

namespace {

constexpr int kScrambledStart = 0x18;
constexpr int kScrambledLength = 128;
constexpr int kCodePageOffset = 0x3c;
constexpr int kPasswordOffset = 0x42;
constexpr int kPasswordLength = 40;
constexpr int kSortOrderOffset = 0x6e;
constexpr int kCreatedOffset = 0x72;
constexpr quint16 kWindows1252 = 1252;
constexpr quint32 kJet4 = 1;

} // namespace

double oleDate(const QDateTime &moment)
{
    static const QDate epoch(1899, 12, 30);
    return double(epoch.daysTo(moment.date())) +
           double(moment.time().msecsSinceStartOfDay()) / (24.0 * 3600 * 1000);
}

QByteArray definitionPage(const QDateTime &created)
{
    QByteArray page(kPageSize, '\0');
    put8(page, 0, DefinitionPage);
    put8(page, 1, 0x01);
    const QByteArray format("Standard Jet DB");
    page.replace(4, format.size(), format);
    put32(page, 0x14, kJet4);
    put16(page, kCodePageOffset, kWindows1252);
    put16(page, kSortOrderOffset, kGeneralSortOrder);
    const double date = oleDate(created);
    qToLittleEndian(date, page.data() + kCreatedOffset);
    // The stored password is masked with the whole days of the creation date; a password field
    // equal to the mask is the empty password.
    const auto mask = quint32(qint32(std::floor(date)));
    for (int i = 0; i < kPasswordLength; i += 4)
        put32(page, kPasswordOffset + i, mask);
    rc4(QByteArray("\xc7\xda\x39\x6b", 4), page.data() + kScrambledStart, kScrambledLength);
    return page;
}

} // namespace fwb::jet::writer
