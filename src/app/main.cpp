#include "text_table.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

namespace {

void printUsage()
{
    std::fputs("Usage: fernhold [OPTION]\n"
               "Continuous file backup: keeps every new or changed file of your source\n"
               "folders as a dated version at up to nine backup targets.\n"
               "\n"
               "  --help       show this help and exit\n"
               "  --version    show the version and exit\n",
               stdout);
}

} // namespace

int main(int argc, char** argv)
{
    fernhold::UnscrambleConstants();
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        printUsage();
        return 0;
    }
    if (args.contains(QStringLiteral("--version"))) {
        std::printf("%s %s\n", qPrintable(fernhold::Text(QStringLiteral("Program_Name"))),
                    qPrintable(fernhold::Text(QStringLiteral("Version_Name"))));
        return 0;
    }
    std::fputs("fernhold: the backup core is not built in yet; see --help.\n", stderr);
    return 0;
}
