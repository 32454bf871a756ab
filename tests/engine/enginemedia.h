#pragma once

#include "playerfacade.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

/**
 * Media for the engine tests, made with ffmpeg on first use and kept for the life of the test
 * process. Each function returns the bytes of a complete file, so a test can store it under any
 * name, including names ffmpeg could not be given on its command line. A file that ffmpeg fails
 * to make ends the test process with ffmpeg's message.
 */
namespace testmedia {

/// A sine tone of @p seconds; @p format is an ffmpeg muxer with a matching default codec
/// ("ogg", "mp3", "wav").
QByteArray tone(const QString& format, int hertz = 440, double seconds = 1.5);

/// A 320x240 picture from the ffmpeg source @p picture ("testsrc": moving colour bars; "color=c=red":
/// one flat colour) with a 440 Hz tone, H.264 and AAC in mp4.
QByteArray video(const QString& picture = QStringLiteral("testsrc"), double seconds = 1.5);

/// Bytes no demuxer recognises, the same on every run.
QByteArray noise(int size = 200 * 1024);

/// The bytes of a playlist naming @p entries, one a line.
QByteArray playlist(const QStringList& entries);

} // namespace testmedia

/**
 * Records what a player notifies: the states in order, and whether each notification broke the
 * contract (raised off the GUI thread, or disagreeing with playState() at that moment).
 */
class StateLog : public QObject {
    Q_OBJECT

public:
    explicit StateLog(PlayerFacade& player);

    QList<int> states;
    int offGuiThread = 0;
    int disagreeing = 0;
};
