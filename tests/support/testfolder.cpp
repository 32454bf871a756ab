#include "testfolder.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>

namespace {

void require(bool ok, const char* what)
{
    if (!ok) {
        throw std::runtime_error(what);
    }
}

} // namespace

TestFolder::TestFolder()
{
    require(m_dir.isValid(), "temporary folder");
}

QByteArray TestFolder::pathBytes() const
{
    return QFile::encodeName(m_dir.path());
}

QByteArray TestFolder::full(const QByteArray& name) const
{
    return pathBytes() + '/' + name;
}

QString TestFolder::addFile(const QByteArray& name, const QByteArray& contents)
{
    const int fd = ::open(full(name).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    require(fd >= 0, "create file");
    require(::write(fd, contents.constData(), size_t(contents.size())) == contents.size(), "write file");
    ::close(fd);
    return m_dir.path() + u'/' + QString::fromUtf8(name);
}

void TestFolder::addFolder(const QByteArray& name)
{
    require(::mkdir(full(name).constData(), 0755) == 0, "mkdir");
}

void TestFolder::addFifo(const QByteArray& name)
{
    require(::mkfifo(full(name).constData(), 0644) == 0, "mkfifo");
}

void TestFolder::addLink(const QByteArray& name, const QByteArray& target)
{
    require(::symlink(target.constData(), full(name).constData()) == 0, "symlink");
}

void TestFolder::remove(const QByteArray& name)
{
    require(::unlink(full(name).constData()) == 0, "unlink");
}
