#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

/**
 * A share that stops answering, for tests: the tests' own FUSE file system (stallfs.cpp) mounted
 * over a backing folder, with parts of it held shut until the test releases them.
 *
 * The test fills backing() first, then mounts with the parts to hold:
 *
 *     StalledShare share;
 *     QFile::copy(tone, share.backing() + "/stuck.wav");
 *     QVERIFY2(share.mount({"--hang", "dead", "--hang-reads", "stuck.wav"}), share.failure());
 *     ... share.path() + "/dead" does not answer ...
 *     share.release();
 *
 * mount() fails, with failure() saying why, when /dev/fuse is missing or the file system does not
 * come up; tests fail then rather than skip. Destruction releases every held call, unmounts and
 * ends the daemon, in that order: a call already blocked is answered by the release or fails with
 * ENOTCONN when the daemon ends. The test thread blocks in mount(), release() and shut() (at
 * most 10 s each) and in the destructor; nothing else waits.
 */
class StalledShare {
public:
    StalledShare();
    ~StalledShare();
    StalledShare(const StalledShare&) = delete;
    StalledShare& operator=(const StalledShare&) = delete;

    /// The folder the share shows; fill it before mount().
    QString backing() const { return m_backing.path(); }
    /// Where the share is mounted.
    QString path() const { return m_mountPoint.path(); }

    /// Mounts with stallfs's options (--hang NAME, --slow NAME=MS, --hang-reads NAME).
    bool mount(const QStringList& options);
    QString failure() const { return m_failure; }

    /// Lets every held call through, and those that come later; returns once the daemon has.
    void release();
    /// Holds the parts named at mount() again, from the next call on; returns once the daemon
    /// holds them.
    void shut();

private:
    void tellDaemon(const QByteArray& command);

    QTemporaryDir m_backing;
    QTemporaryDir m_mountPoint;
    QProcess m_daemon;
    QString m_failure;
    bool m_mounted = false;
};
