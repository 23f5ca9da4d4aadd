// The program behind bench/scan.sh:
//   fernhold_scan_bench make-tree DIR FILES   a tree of FILES small files, 1000 a folder,
//                                             each with a modification time of its own
//   fernhold_scan_bench check DIR FILES       the walks see every file (no rule skips them)
//   fernhold_scan_bench measure DIR FILES     one IndexScan and one BackupFolder walk over
//                                             the unchanged tree; prints
//                                             "<scan us> <walk us> <index bytes per record>"

#include "core/clock.h"
#include "core/job_settings.h"
#include "core/run_state.h"
#include "core/status_line.h"
#include "core/text_table.h"
#include "core/user_interface.h"
#include "engine/backup_state.h"
#include "engine/exclusion_rules.h"
#include "engine/index_scan.h"
#include "engine/index_walks.h"
#include "engine/source_index.h"
#include "engine/source_walk.h"
#include "platform/folders.h"

#include <QDir>
#include <QFile>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace fernhold;

namespace {

class QuietUserInterface final : public UserInterface
{
public:
    void showMessage(const QString&, const QString&, MessageIcon, bool) override {}
    [[nodiscard]] bool askYesNo(const QString&, const QString&, MessageIcon, bool yes) override
    {
        return yes;
    }
    [[nodiscard]] bool askOkCancel(const QString&, const QString&, MessageIcon) override
    {
        return false;
    }
    void showStatusLine(const QString&) override {}
    void showProgramStatus(int, const QString&) override {}
    void showStatusText(const QString&) override {}
    [[nodiscard]] QString pickFolder(const QString&, const QString&) override { return {}; }
    void setBusy(bool) override {}
    void showProgress(int, int) override {}
    void showCleanupStatus(const QString&) override {}
    void showCleanupRunning(bool) override {}
    void showRestorePath(const QString&) override {}
    void focusRestorePassword() override {}
};

int makeTree(const QString& root, long files)
{
    const QByteArray base = QFile::encodeName(WithSlash(root));
    for (long i = 0; i < files; ++i) {
        if (i % 1000 == 0) {
            const QByteArray folder = base + QByteArray::number(i / 1000);
            if (::mkdir(folder.constData(), 0700) != 0) {
                std::perror(folder.constData());
                return 1;
            }
        }
        const QByteArray path =
            base + QByteArray::number(i / 1000) + "/file" + QByteArray::number(i % 1000) + ".txt";
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const QByteArray content = "small file " + QByteArray::number(i) + "\n";
        // A time of its own for every file: files made within one clock tick
        // would otherwise share times, size and name checksum, and the index
        // holds a state once however many files have it.
        const struct timespec times[2] = {{1700000000 + i / 1000, (i % 1000) * 1000},
                                          {1700000000 + i / 1000, (i % 1000) * 1000}};
        if (fd < 0 ||
            ::write(fd, content.constData(), static_cast<size_t>(content.size())) !=
                content.size() ||
            ::futimens(fd, times) != 0) {
            std::perror(path.constData());
            return 1;
        }
        ::close(fd);
    }
    return 0;
}

// Heap bytes in use, the large blocks that malloc maps separately included.
qint64 heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return static_cast<qint64>(info.uordblks + info.hblkhd);
}

double microsecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
        .count();
}

struct Bench
{
    explicit Bench(const QString& tree)
        : folders(ResolveFolders(QStringLiteral("fernhold"), QStringLiteral("fernhold"))),
          statusLine(ui, clock, run)
    {
        SourceEntry entry;
        entry.SourceDirPfad = WithSlash(tree);
        entry.SourceDirSub = 1;
        settings.sources = {entry};
        // The tree lies in the temporary folder, which the rules would exclude as
        // a whole without looking at a single file; point that rule elsewhere so
        // every file goes through every rule, as in a real source.
        folders.userTemp = QStringLiteral("/nonexistent-temporary-folder/");
        run.Status = 1;
    }

    [[nodiscard]] IndexEnvironment env()
    {
        return {index, run, statusLine, ui, clock, QString(), state};
    }

    // Files the backup walk hands on.
    long walk()
    {
        const ExclusionRules rules(settings, folders);
        const FolderIdSet roots = TargetRootFolders(settings);
        const BackupWalk backupWalk{
            index, rules, run, SizeLimitBytes(settings.BackupSize, settings.BackupUnit), roots};
        long handed = 0;
        (void)BackupFolder(backupWalk, true, QString(), settings.sources[0].SourceDirPfad,
                           QStringLiteral("1"),
                           [&](const QString&, const QString&, qint64,
                               const std::optional<FileRecord>&, const QString&) { ++handed; });
        return handed;
    }

    Folders folders;
    JobSettings settings;
    RunState run;
    QuietUserInterface ui;
    SystemClock clock;
    StatusLine statusLine;
    SourceIndex index;
    BackupState state{QString()}; // never saved: the bench writes no table
};

int check(const QString& tree, long files)
{
    Bench bench(tree);
    const long all = bench.walk();
    const IndexScanResult result = IndexScan(bench.settings, bench.env());
    const long known = bench.walk();
    if (all != files || result.files != files || known != 0) {
        std::fprintf(stderr,
                     "check failed: walk of an empty index found %ld, scan %lld, "
                     "walk of the full index %ld (expected %ld, %ld, 0)\n",
                     all, static_cast<long long>(result.files), known, files, files);
        return 1;
    }
    return 0;
}

int measure(const QString& tree, long files)
{
    UnscrambleConstants(); // the text table is not part of the index
    Bench bench(tree);
    const qint64 heapBefore = heapInUse();

    auto start = std::chrono::steady_clock::now();
    const IndexScanResult result = IndexScan(bench.settings, bench.env());
    const double scanUs = microsecondsSince(start);
    const qint64 heapAfter = heapInUse();

    start = std::chrono::steady_clock::now();
    const long handed = bench.walk();
    const double walkUs = microsecondsSince(start);

    const double records = static_cast<double>(bench.index.IndexCount());
    if (result.files != files || handed != 0 || records <= 0) {
        std::fprintf(stderr, "measure: unexpected counts (%lld scanned, %ld handed)\n",
                     static_cast<long long>(result.files), handed);
        return 1;
    }
    std::printf("%.0f %.0f %.2f %.2f\n", scanUs, walkUs,
                static_cast<double>(bench.index.MemoryBytes()) / records,
                static_cast<double>(heapAfter - heapBefore) / records);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s make-tree|check|measure DIR FILES\n", argv[0]);
        return 2;
    }
    const QString mode = QString::fromLocal8Bit(argv[1]);
    const QString tree = QFile::decodeName(argv[2]);
    const long files = std::strtol(argv[3], nullptr, 10);
    if (mode == QLatin1StringView("make-tree")) {
        return makeTree(tree, files);
    }
    if (mode == QLatin1StringView("check")) {
        return check(tree, files);
    }
    if (mode == QLatin1StringView("measure")) {
        return measure(tree, files);
    }
    std::fprintf(stderr, "unknown mode %s\n", argv[1]);
    return 2;
}
