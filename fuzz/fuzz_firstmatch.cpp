// firstMatch on a folder of awkward entries, with the fuzzer's text as the name pattern (and,
// when it holds a "/", as a path below the folder). The answer is always a normal entry that the
// pattern matches, never a folder, a FIFO or a dangling link, and is the first such entry.

#include "folderquery.h"
#include "fuzzinput.h"
#include "pathcodec.h"
#include "programerror.h"

#include <QDir>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

const char* const kRegular[] = {"a.mp3",    "b.mp4",           "[x].mp3",      "*.ogg",       "?",         "-rf",
                                "av:x.mp3", "line\nbreak.mp3", "\xff\xfe.mp3", "track10.mp3", "track2.mp3"};
const char* const kOthers[] = {"fifo.mp3", "folder.mp3", "dangling.mp3", ".hidden.mp3"};

std::string g_root; // the folder's path as bytes; removed at exit
QString g_folder;
std::vector<QByteArray> g_normalNames;

void touch(const std::string& path)
{
    if (FILE* file = std::fopen(path.c_str(), "w")) {
        std::fclose(file);
    }
}

void removeFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(g_root, ignored); // by bytes: some names are not UTF-8
}

void makeFolder()
{
    std::string pattern = std::filesystem::temp_directory_path() / "marrowlark-fuzz-XXXXXX";
    g_root = mkdtemp(pattern.data()) ? pattern : std::string();
    FUZZ_CHECK(!g_root.empty());
    std::atexit(removeFolder);
    g_folder = decodeFileName(QByteArray::fromStdString(g_root));
    const std::string root = g_root + '/';
    for (const char* name : kRegular) {
        touch(root + name);
    }
    touch(root + ".hidden.mp3");
    mkfifo((root + "fifo.mp3").c_str(), 0644);
    mkdir((root + "folder.mp3").c_str(), 0755);
    symlink("nowhere", (root + "dangling.mp3").c_str());
    symlink("a.mp3", (root + "link.mp3").c_str());
    g_normalNames = listNormalEntries(g_folder);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/)
{
    makeFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString pattern = fuzz::textOf(data, size);
    const QString path = g_folder + u'/' + pattern;
    QString found;
    try {
        found = firstMatch(path);
    } catch (const ProgramError&) {
        // Reading some folder failed: only possible when the pattern leads out of ours.
        FUZZ_CHECK(pattern.contains(u'/'));
        return 0;
    }
    const QString namePattern = path.mid(path.lastIndexOf(u'/') + 1);
    if (found.isEmpty() || pattern.contains(u'/')) {
        FUZZ_CHECK(found.isEmpty() || found == namePattern || wildcardMatch(namePattern, found));
        return 0;
    }
    FUZZ_CHECK(wildcardMatch(namePattern, found));
    const QByteArray raw = encodeFileName(found);
    for (const char* other : kOthers) {
        FUZZ_CHECK(raw != other);
    }
    if (namePattern.contains(u'*') || namePattern.contains(u'?')) {
        // The first matching normal entry in directory order.
        const auto first = std::find_if(g_normalNames.begin(), g_normalNames.end(), [&](const QByteArray& n) {
            return wildcardMatch(namePattern, decodeFileName(n));
        });
        FUZZ_CHECK(first != g_normalNames.end() && *first == raw);
    } else {
        FUZZ_CHECK(found == namePattern);
    }
    return 0;
}
