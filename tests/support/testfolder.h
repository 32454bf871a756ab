#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

/**
 * A temporary folder filled by the test, removed afterwards. Names are raw bytes so that tests
 * can make names that are not valid UTF-8.
 */
class TestFolder {
public:
    TestFolder();

    QString path() const { return m_dir.path(); }
    QByteArray pathBytes() const;

    /// Creates a regular file with @p contents; returns its full path.
    QString addFile(const QByteArray& name, const QByteArray& contents = "x");
    void addFolder(const QByteArray& name);
    void addFifo(const QByteArray& name);
    void addLink(const QByteArray& name, const QByteArray& target);
    void remove(const QByteArray& name);

private:
    QByteArray full(const QByteArray& name) const;
    QTemporaryDir m_dir;
};
