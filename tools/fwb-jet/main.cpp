#include "Commands.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

const char kHelp[] = R"(Usage: fwb-jet COMMAND ARGUMENTS

Reads and writes Jet (Access) database files and builds language packs.

Commands:
  tables FILE              List the tables of FILE, system tables left out, one a line.
  export FILE TABLE        Print TABLE of FILE as tab-separated text: a header line with
                           the column names, then one line per row.
  pack-build SOURCE PACK   Build the language pack PACK (a Jet 4 file with the table Items)
                           from the pack source SOURCE. PACK is replaced as a whole.
  pack-dump PACK           Print the source of the language pack PACK.

Text format (export, pack sources, pack-dump):
  UTF-8, one line per row, fields separated by tabs. A field that is exactly \N is NULL;
  inside a value a backslash is written \\, a tab \t, a line feed \n and a carriage
  return \r. Any other backslash sequence is an error. An empty field is an empty text.

Pack sources:
  The header line is "Form<TAB>Name<TAB>Text<TAB>Type<TAB>Index"; then one line per row.
  Form is a text of up to 255 characters, Name and Text are texts of any length ("§§" in
  Text is kept as it is: it stands for a line break), Type is a whole number (32 bits) and
  Index a whole number from -32768 to 32767. A byte order mark at the start and CR LF line
  ends are accepted. pack-dump prints a built pack back in canonical form: the same bytes
  as its source when the source was canonical (LF line ends, a line end after the last row,
  numbers written plainly, no byte order mark).

Exit status: 0 on success, 1 when a file cannot be read or written or a source line is
malformed (the message names the line), 2 for wrong arguments.
)";

int usage(const QString &problem)
{
    return fwb::jet::tool::fail(problem + QStringLiteral(" (see fwb-jet --help)"),
                                fwb::jet::tool::UsageError);
}

int run(const QStringList &args)
{
    using namespace fwb::jet::tool;
    if (args.isEmpty())
        return usage(QStringLiteral("no command given"));
    const QString &command = args.first();
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        std::fputs(kHelp, stdout);
        return Success;
    }
    const qsizetype given = args.size() - 1;
    const auto expect = [&](qsizetype count, const char *form) {
        return given == count ? QString()
                              : QStringLiteral("%1 takes %2 argument(s): fwb-jet %1 %3")
                                    .arg(command)
                                    .arg(count)
                                    .arg(QLatin1String(form));
    };
    QString problem;
    if (command == QLatin1String("tables")) {
        if ((problem = expect(1, "FILE")).isEmpty())
            return listTables(args.at(1));
    } else if (command == QLatin1String("export")) {
        if ((problem = expect(2, "FILE TABLE")).isEmpty())
            return exportTable(args.at(1), args.at(2));
    } else if (command == QLatin1String("pack-build")) {
        if ((problem = expect(2, "SOURCE PACK")).isEmpty())
            return buildPack(args.at(1), args.at(2));
    } else if (command == QLatin1String("pack-dump")) {
        if ((problem = expect(1, "PACK")).isEmpty())
            return dumpPack(args.at(1));
    } else {
        problem = QStringLiteral("unknown command \"%1\"").arg(command);
    }
    return usage(problem);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    return run(QCoreApplication::arguments().mid(1));
}
