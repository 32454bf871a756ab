#include "hostilesupport.h"

#include "filelistbox.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProcess>
#include <QtTest>

#include <unistd.h>

namespace Hostile {

namespace {

Application& application()
{
    return *static_cast<Application*>(QCoreApplication::instance());
}

} // namespace

ReportSpy::ReportSpy()
{
    application().setErrorReport([messages = m_messages](const QString& message) { messages->append(message); });
}

ReportSpy::~ReportSpy()
{
    application().setErrorReport(&Application::showErrorBox);
}

void paste(Form1& form, const QString& text)
{
    QGuiApplication::clipboard()->setText(text);
    form.text1()->setFocus();
    QTest::keyClick(form.text1(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(form.text1(), Qt::Key_V, Qt::ControlModifier);
}

bool select(Form1& form, const QString& name)
{
    FileListBox& list = *form.file1();
    for (int row = 0; row < list.model()->rowCount(); ++row) {
        const QModelIndex index = list.model()->index(row, 0);
        list.selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        if (list.fileName() == name) {
            return true;
        }
    }
    list.selectionModel()->clearSelection();
    return false;
}

void selectFirst(Form1& form)
{
    FileListBox& list = *form.file1();
    if (list.model()->rowCount() > 0) {
        list.selectionModel()->setCurrentIndex(list.model()->index(0, 0), QItemSelectionModel::ClearAndSelect);
    }
}

void pressEnter(Form1& form)
{
    form.file1()->setFocus();
    QTest::keyClick(form.file1(), Qt::Key_Return);
}

bool ffmpeg(const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("ffmpeg"), QStringList{"-nostdin", "-v", "error", "-y"} + arguments);
    return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool makeTone(const QString& path, double seconds)
{
    return ffmpeg({"-f", "lavfi", "-i", QStringLiteral("sine=frequency=440:duration=%1").arg(seconds), "-c:a",
                   "libmp3lame", "-b:a", "64k", path});
}

bool processHasOpen(const QByteArray& absolutePath)
{
    const QByteArray folder = "/proc/self/fd/";
    for (const QString& fd : QDir(QString::fromLatin1(folder)).entryList(QDir::Files | QDir::System)) {
        char target[4096];
        const ssize_t length = readlink((folder + fd.toLatin1()).constData(), target, sizeof target);
        if (length > 0 && QByteArray(target, length) == absolutePath) {
            return true;
        }
    }
    return false;
}

} // namespace Hostile
