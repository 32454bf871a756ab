#include "unprivileged.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <unistd.h>

void runUnprivileged(const char* function, const std::function<void()>& here)
{
    if (geteuid() != 0) {
        here();
        return;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), QStringLiteral("/tmp"));
    environment.insert(QStringLiteral("TMPDIR"), QStringLiteral("/tmp"));
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR")); // the suite's is root's alone
    if (environment.contains(QStringLiteral("ASAN_OPTIONS"))) {
        // The same code runs with leak checks as root; as nobody the checks here are what counts.
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
                           environment.value(QStringLiteral("ASAN_OPTIONS")) + ":detect_leaks=0");
    }
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setWorkingDirectory(QStringLiteral("/tmp"));
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("setpriv"), {"--reuid=65534", "--regid=65534", "--clear-groups",
                                            QCoreApplication::applicationFilePath(), QString::fromLatin1(function)});
    const bool passed =
        child.waitForFinished(120000) && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
    const QString log = QString::fromLocal8Bit(child.readAll());
    if (passed && log.contains(QStringLiteral("SKIP"))) {
        const QString reason = log.section(QStringLiteral("SKIP"), 1).section(u'\n', 0, 1);
        QTest::qSkip(qPrintable("as nobody: " + reason), __FILE__, __LINE__);
    } else {
        QTest::qVerify(passed, "passed as nobody", qPrintable(log), __FILE__, __LINE__);
    }
}
