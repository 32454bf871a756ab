// Folder switching and folder queries, in process: what the file list costs per keystroke, and
// what a keystroke costs the window's thread in a share that answers slowly.
//
//   marrowlark_bench [--quick] [Google Benchmark flags]
//
// --quick (for CI) runs every benchmark once on the smaller folders only.

#include "filelistbox.h"
#include "folderquery.h"
#include "naturalorder.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#ifdef MARROWLARK_BENCH_SHARES
#include "fakeplayer.h"
#include "form1.h"
#include "stalledshare.h"
#include "startup.h"

#include <QLineEdit>
#endif

#include <dirent.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

// Names as a music folder has them: numbered tracks, mixed case, a few extensions.
QByteArray fileNameFor(int i)
{
    static const char* const kStems[] = {"Track", "track", "Song", "Live at Home", "b-side"};
    static const char* const kExtensions[] = {".mp3", ".ogg", ".flac", ".mp4"};
    return QByteArray(kStems[i % 5]) + ' ' + QByteArray::number(i) + kExtensions[i % 4];
}

// One temporary folder per size, made on first use and kept for the whole run.
class Folders {
public:
    QString folderOf(int count)
    {
        auto& dir = m_dirs[count];
        if (!dir) {
            dir = std::make_unique<QTemporaryDir>();
            for (int i = 0; i < count; ++i) {
                QFile file(dir->filePath(QString::fromLatin1(fileNameFor(i))));
                if (!file.open(QIODevice::WriteOnly)) {
                    qFatal("cannot create %s", qPrintable(file.fileName()));
                }
            }
        }
        return dir->path();
    }
    QString emptyFolder() { return folderOf(0); }

private:
    std::map<int, std::unique_ptr<QTemporaryDir>> m_dirs;
};

Folders& folders()
{
    static Folders instance;
    return instance;
}

// What any list of a folder must do at least: read the entries, decode each name, make its sort
// key once, and sort. No model, no view.
std::vector<QString> floorListing(const QString& folder)
{
    DIR* dir = opendir(QFile::encodeName(folder).constData());
    struct Entry {
        QString name;
        QString key;
    };
    std::vector<Entry> entries;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.' && entry->d_type == DT_REG) {
            QString name = QString::fromUtf8(entry->d_name, qsizetype(std::strlen(entry->d_name)));
            QString key = name.toCaseFolded();
            entries.push_back({std::move(name), std::move(key)});
        }
    }
    closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return naturalCompare(a.key, b.key) < 0; });
    std::vector<QString> names;
    names.reserve(entries.size());
    for (Entry& entry : entries) {
        names.push_back(std::move(entry.name));
    }
    return names;
}

void BM_Floor(benchmark::State& state)
{
    const QString folder = folders().folderOf(int(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(floorListing(folder));
    }
}

// Switching alternates between the folder and an empty one, so that every setPath() really
// replaces the list (the empty folder costs next to nothing).
void switchFolder(benchmark::State& state, bool paint)
{
    const QString folder = folders().folderOf(int(state.range(0)));
    const QString empty = folders().emptyFolder();
    FileListBox list;
    list.resize(337, 198); // the window's list, in pixels
    if (paint) {
        list.show();
    }
    int files = 0;
    for (auto _ : state) {
        list.setPath(folder);
        if (paint) {
            list.repaint();
        }
        state.PauseTiming();
        files = list.model()->rowCount();
        list.setPath(empty);
        state.ResumeTiming();
    }
    state.SetLabel(std::to_string(files) + " files");
}

void BM_SwitchFolder(benchmark::State& state)
{
    switchFolder(state, false);
}

void BM_SwitchFolderAndPaint(benchmark::State& state)
{
    switchFolder(state, true);
}

// A keystroke that leaves a text naming no folder: one failed lookup.
void BM_FolderExistsMiss(benchmark::State& state)
{
    const QString missing = folders().emptyFolder() + QStringLiteral("/Musi");
    for (auto _ : state) {
        benchmark::DoNotOptimize(folderExists(missing));
    }
}

#ifdef MARROWLARK_BENCH_SHARES
// Keystrokes into a folder of a share that answers each call after 1 s (the tests' stallfs), as
// the window's own handler takes them: the window thread's time from the edit to its return.
class SlowShareWindow {
public:
    bool mount(benchmark::State& state)
    {
        QDir().mkpath(m_share.backing() + QStringLiteral("/slow/Album"));
        if (!m_share.mount({QStringLiteral("--slow"), QStringLiteral("slow=1000")})) {
            state.SkipWithError(qPrintable(m_share.failure()));
            return false;
        }
        return true;
    }
    QString folder() const { return m_share.path() + QStringLiteral("/slow"); }
    void type(const QString& text) { m_form->text1()->setText(text); }

private:
    StalledShare m_share;
    std::unique_ptr<Form1> m_form = createMainWindow([](QWidget* parent) { return new FakePlayer(parent); });
};

// The keystroke that first names the folder, with no answer outstanding: it waits once for the
// worker's bound.
void BM_KeystrokeNamingSlowShare(benchmark::State& state)
{
    SlowShareWindow window;
    if (!window.mount(state)) {
        return;
    }
    for (auto _ : state) {
        QElapsedTimer keystroke;
        keystroke.start();
        window.type(window.folder());
        state.SetIterationTime(double(keystroke.nsecsElapsed()) / 1e9);
    }
}

// The keystrokes after it, each naming a path in the folder while its answer is outstanding.
void BM_KeystrokeInSlowShare(benchmark::State& state)
{
    SlowShareWindow window;
    if (!window.mount(state)) {
        return;
    }
    window.type(window.folder());
    const QString name = QStringLiteral("/Album");
    qsizetype typed = 0;
    for (auto _ : state) {
        typed = typed % name.size() + 1;
        window.type(window.folder() + name.left(typed));
    }
}
#endif

void registerBenchmarks(bool quick)
{
    const std::vector<int64_t> sizes =
        quick ? std::vector<int64_t>{1000, 10000} : std::vector<int64_t>{1000, 10000, 100000};
    const auto withSizes = [&](benchmark::internal::Benchmark* benchmark) {
        for (const int64_t size : sizes) {
            benchmark->Arg(size);
        }
        benchmark->Unit(benchmark::kMillisecond)->UseRealTime();
        if (quick) {
            benchmark->Iterations(1);
        }
    };
    withSizes(benchmark::RegisterBenchmark("floor/readdir+natural-sort", BM_Floor));
    withSizes(benchmark::RegisterBenchmark("list/setPath", BM_SwitchFolder));
    withSizes(benchmark::RegisterBenchmark("list/setPath+paint", BM_SwitchFolderAndPaint));
    auto* miss = benchmark::RegisterBenchmark("keystroke/folderExists-miss", BM_FolderExistsMiss);
    miss->Unit(benchmark::kMicrosecond);
    if (quick) {
        miss->Iterations(1);
    }
#ifdef MARROWLARK_BENCH_SHARES
    // Each naming needs a fresh share and window: one a repetition.
    benchmark::RegisterBenchmark("keystroke/share-after-1s-naming", BM_KeystrokeNamingSlowShare)
        ->Unit(benchmark::kMillisecond)
        ->UseManualTime()
        ->Iterations(1);
    auto* slow = benchmark::RegisterBenchmark("keystroke/share-after-1s-in-folder", BM_KeystrokeInSlowShare);
    slow->Unit(benchmark::kMicrosecond)->UseRealTime();
    if (quick) {
        slow->Iterations(1);
    }
#endif
}

} // namespace

int main(int argc, char** argv)
{
    // The list paints into an offscreen surface: no display needed, and none disturbs the figures.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::vector<char*> arguments(argv, argv + argc);
    const auto quickFlag =
        std::find_if(arguments.begin(), arguments.end(), [](const char* a) { return std::strcmp(a, "--quick") == 0; });
    const bool quick = quickFlag != arguments.end();
    if (quick) {
        arguments.erase(quickFlag);
    }
    int count = int(arguments.size());
    QApplication app(count, arguments.data());
    registerBenchmarks(quick);
    benchmark::Initialize(&count, arguments.data());
    if (benchmark::ReportUnrecognizedArguments(count, arguments.data())) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
