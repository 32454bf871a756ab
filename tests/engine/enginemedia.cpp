#include "enginemedia.h"

#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

namespace {

QByteArray runFfmpeg(const QString& key, const QStringList& arguments, const QString& extension)
{
    static QHash<QString, QByteArray> made;
    if (made.contains(key)) {
        return made.value(key);
    }
    QTemporaryDir dir;
    const QString output = dir.filePath(QStringLiteral("out.") + extension);
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 QStringList{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-nostdin")} + arguments
                     << output);
    if (!ffmpeg.waitForFinished(60000) || ffmpeg.exitCode() != 0) {
        qFatal("ffmpeg could not make %s: %s %s", qPrintable(key), qPrintable(ffmpeg.errorString()),
               ffmpeg.readAllStandardError().constData());
    }
    QFile file(output);
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("ffmpeg made no %s", qPrintable(output));
    }
    return made[key] = file.readAll();
}

QString sine(int hertz, double seconds)
{
    return QStringLiteral("sine=frequency=%1:duration=%2:sample_rate=44100").arg(hertz).arg(seconds);
}

} // namespace

namespace testmedia {

QByteArray tone(const QString& format, int hertz, double seconds)
{
    const QString key = QStringLiteral("tone %1 %2 %3").arg(format).arg(hertz).arg(seconds);
    return runFfmpeg(key, {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), sine(hertz, seconds)},
                     format);
}

QByteArray video(const QString& picture, double seconds)
{
    const QChar separator = picture.contains(u'=') ? u':' : u'=';
    const QString source = picture + separator + QStringLiteral("size=320x240:rate=25:duration=%1").arg(seconds);
    return runFfmpeg(QStringLiteral("video %1 %2").arg(picture).arg(seconds),
                     {QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), source, QStringLiteral("-f"),
                      QStringLiteral("lavfi"), QStringLiteral("-i"), sine(440, seconds), QStringLiteral("-c:v"),
                      QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("ultrafast"),
                      QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p"), QStringLiteral("-c:a"),
                      QStringLiteral("aac"), QStringLiteral("-shortest")},
                     QStringLiteral("mp4"));
}

QByteArray noise(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(20240611);
    for (char& byte : bytes) {
        byte = char(generator.bounded(256));
    }
    return bytes;
}

QByteArray playlist(const QStringList& entries)
{
    return "#EXTM3U\n" + entries.join(u'\n').toUtf8() + '\n';
}

} // namespace testmedia

StateLog::StateLog(PlayerFacade& player)
{
    connect(&player, &PlayerFacade::playStateChange, this, [this, &player](int state) {
        states.append(state);
        offGuiThread += QThread::currentThread() != QCoreApplication::instance()->thread();
        disagreeing += player.playState() != state;
    });
}
