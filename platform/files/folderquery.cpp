#include "folderquery.h"

#include "callwatch.h"
#include "pathcodec.h"
#include "programerror.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace {

// A system call, stamped for a worker that watches this thread (callwatch.h): how it tells a
// query that is working from one that the file system holds.
template <typename Call> auto watched(Call call)
{
    const callwatch::Call stamp;
    return call();
}

bool hasNul(const QString& path)
{
    return path.contains(QChar(u'\0'));
}

QString systemMessage(const QString& path, int error)
{
    return QStringLiteral("%1: %2").arg(displayFileName(path), QString::fromLocal8Bit(std::strerror(error)));
}

// Errors that mean "there is nothing by that name", as opposed to "it cannot be read".
bool meansAbsent(int error)
{
    return error == ENOENT || error == ENOTDIR || error == ENAMETOOLONG || error == ELOOP;
}

bool isNormalName(const char* name)
{
    return name[0] != '.';
}

// Whether the entry resolves to a regular file. d_type saves a stat() for most entries; links
// and file systems without d_type need one. A FIFO is only stat()ed, never opened.
bool resolvesToRegularFile(int dirFd, const dirent& entry)
{
    if (entry.d_type == DT_REG) {
        return true;
    }
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN) {
        return false;
    }
    struct stat info {};
    return watched([&] { return fstatat(dirFd, entry.d_name, &info, 0); }) == 0 && S_ISREG(info.st_mode);
}

struct DirCloser {
    void operator()(DIR* dir) const
    {
        watched([dir] { return closedir(dir); });
    }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

DirHandle openFolder(const QString& folder)
{
    const QByteArray bytes = encodeFileName(folder.isEmpty() ? QStringLiteral(".") : folder);
    return DirHandle(watched([&] { return opendir(bytes.constData()); }));
}

// Calls visit(entry) for each normal entry until it returns true. Throws on read errors.
template <typename Visit> void forEachNormalEntry(const QString& folder, DIR* dir, Visit visit)
{
    const int fd = dirfd(dir);
    for (;;) {
        errno = 0;
        const dirent* entry = watched([dir] { return readdir(dir); });
        if (entry == nullptr) {
            if (errno != 0) {
                throw ProgramError(systemMessage(folder, errno));
            }
            return;
        }
        if (isNormalName(entry->d_name) && resolvesToRegularFile(fd, *entry) && visit(*entry)) {
            return;
        }
    }
}

QString exactMatch(const QString& pattern, const QString& name)
{
    struct stat info {};
    const QByteArray bytes = encodeFileName(pattern);
    if (watched([&] { return stat(bytes.constData(), &info); }) == 0) {
        return S_ISREG(info.st_mode) ? name : QString();
    }
    if (meansAbsent(errno)) {
        return {};
    }
    throw ProgramError(systemMessage(pattern, errno));
}

QString wildcardSearch(const QString& folder, const QString& namePattern)
{
    const DirHandle dir = openFolder(folder);
    if (!dir) {
        if (meansAbsent(errno)) {
            return {};
        }
        throw ProgramError(systemMessage(folder, errno));
    }
    QString found;
    forEachNormalEntry(folder, dir.get(), [&](const dirent& entry) {
        const QString name = decodeFileName(QByteArray(entry.d_name));
        if (wildcardMatch(namePattern, name)) {
            found = name;
        }
        return !found.isEmpty();
    });
    return found;
}

} // namespace

bool folderExists(const QString& path) noexcept
{
    if (path.isEmpty() || hasNul(path)) {
        return false;
    }
    struct stat info {};
    const QByteArray bytes = encodeFileName(path);
    return watched([&] { return stat(bytes.constData(), &info); }) == 0 && S_ISDIR(info.st_mode);
}

std::vector<QByteArray> listNormalEntries(const QString& folder)
{
    const DirHandle dir = hasNul(folder) ? DirHandle() : openFolder(folder);
    if (!dir) {
        throw ProgramError(systemMessage(folder, hasNul(folder) ? EINVAL : errno));
    }
    std::vector<QByteArray> names;
    forEachNormalEntry(folder, dir.get(), [&](const dirent& entry) {
        names.emplace_back(entry.d_name);
        return false;
    });
    return names;
}

QString firstMatch(const QString& pattern)
{
    const qsizetype slash = pattern.lastIndexOf(u'/');
    const QString namePattern = pattern.mid(slash + 1);
    if (namePattern.isEmpty() || hasNul(pattern) || namePattern.startsWith(u'.')) {
        return {};
    }
    if (!namePattern.contains(u'*') && !namePattern.contains(u'?')) {
        return exactMatch(pattern, namePattern);
    }
    const QString folder = slash < 0 ? QString() : slash == 0 ? QStringLiteral("/") : pattern.left(slash);
    return wildcardSearch(folder, namePattern);
}

bool wildcardMatch(QStringView pattern, QStringView name) noexcept
{
    // Greedy matching with one backtrack point: the most recent "*".
    qsizetype p = 0;
    qsizetype n = 0;
    qsizetype starAt = -1;
    qsizetype starMatched = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == u'*') {
            starAt = p++;
            starMatched = n;
        } else if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
            ++p, ++n;
        } else if (starAt >= 0) {
            p = starAt + 1;
            n = ++starMatched;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') {
        ++p;
    }
    return p == pattern.size();
}
