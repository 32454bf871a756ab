#include "stalledshare.h"

#include "tool.h"

#include <QFileInfo>

namespace {

constexpr int kMountMs = 10000;

} // namespace

StalledShare::StalledShare() = default;

StalledShare::~StalledShare()
{
    if (m_daemon.state() == QProcess::NotRunning) {
        return;
    }
    release();
    if (m_mounted) {
        runTool(QStringLiteral("fusermount3"), {QStringLiteral("-u"), QStringLiteral("-z"), path()});
    }
    m_daemon.terminate();
    if (!m_daemon.waitForFinished(kMountMs)) {
        m_daemon.kill();
        m_daemon.waitForFinished();
    }
}

bool StalledShare::mount(const QStringList& options)
{
    if (!QFileInfo::exists(QStringLiteral("/dev/fuse"))) {
        m_failure = QStringLiteral("/dev/fuse is missing: the dead-share tests need FUSE (modprobe fuse)");
        return false;
    }
    m_daemon.setProcessChannelMode(QProcess::SeparateChannels);
    m_daemon.start(QStringLiteral(MARROWLARK_STALLFS), QStringList{backing(), path()} + options);
    while (m_daemon.waitForReadyRead(kMountMs)) {
        if (m_daemon.readAllStandardOutput().contains("mounted")) {
            m_mounted = true;
            return true;
        }
    }
    m_failure =
        QStringLiteral("stallfs did not mount: %1").arg(QString::fromLocal8Bit(m_daemon.readAllStandardError()));
    return false;
}

void StalledShare::release()
{
    tellDaemon("open");
}

void StalledShare::shut()
{
    tellDaemon("shut");
}

// Until the daemon echoes the command, a call may still find the gate as it was.
void StalledShare::tellDaemon(const QByteArray& command)
{
    m_daemon.write(command + '\n');
    m_daemon.waitForBytesWritten();
    QByteArray said;
    while (!said.contains(command) && m_daemon.waitForReadyRead(kMountMs)) {
        said += m_daemon.readAllStandardOutput();
    }
}
