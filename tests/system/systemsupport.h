#pragma once

#include "soundsink.h"
#include "tool.h"

#include <QElapsedTimer>
#include <QImage>
#include <QList>
#include <QProcess>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

/**
 * @file
 * What the whole-program tests use to drive the real marrowlark executable as a user would: X
 * input through xdotool, the window as the X server sees it (xprop, xwininfo, ImageMagick's
 * import) and the sound server (soundsink.h).
 *
 * The readings run the tools synchronously and return what they report; only settledGrab() and
 * Program::waitForWindow() wait for the program, at most kReactMs. Tests poll the others with
 * QTRY_* and the same deadline.
 *
 * The suite's script provides the X server and the sound server: MARROWLARK_TEST_DISPLAY names
 * the private display, PULSE_SERVER the private sound server with the null sink
 * `marrowlark_test_sink`.
 */

namespace SystemTest {

/// How long the program may take to react, generous for a sanitized build on a busy machine:
/// waiting costs nothing when it reacts at once.
inline constexpr int kReactMs = 30000;

// Where a user finds the window's parts at 96 dpi, in client-area pixels.
inline constexpr QSize kClientSize{331, 264};
inline constexpr QRect kTransportButton{248, 232, 33, 25}; ///< play and pause share it
inline constexpr QRect kBareStrip{8, 228, 200, 32};        ///< display strip, no button over it
inline constexpr QRect kListInside{3, 26, 320, 193};       ///< the file list within its frame
inline constexpr QPoint kFolderBoxPoint{120, 12};

/// The private X display, or "" when the tests do not run under the suite's script.
QString testDisplay();
/// A folder for this run's files: the suite's work folder when set, else a temporary one.
QString workFolder(const QString& testName);

/// Writes a sine tone of @p seconds at @p hertz as a WAV file. Returns false when ffmpeg fails.
bool makeTone(const QString& path, double seconds, int hertz = 440);

class XWindow;

/// What a test waits for the window to show.
using PictureCheck = std::function<bool(const QImage&)>;
/// Pictures whose file list shows @p rows names.
PictureCheck listing(qsizetype rows);

/// The window's picture once it shows what @p shows looks for and two grabs in a row agree:
/// painted as the test expects, and nothing still changing. Null when that does not come
/// within @p timeoutMs.
QImage settledGrab(const XWindow& window, const PictureCheck& shows, int timeoutMs = kReactMs);

/// One top-level X window.
class XWindow {
public:
    explicit XWindow(QString id = {})
        : m_id(std::move(id))
    {
    }

    QString id() const { return m_id; }
    bool isValid() const { return !m_id.isEmpty(); }

    QString caption() const;
    /// The window's own (client) area: position on the screen and size.
    QRect geometry() const;
    /// The minimum and maximum size from WM_NORMAL_HINTS; invalid sizes when not set.
    QSize minimumSize() const;
    QSize maximumSize() const;
    /// The window's pixels as the X server holds them (`import -window`).
    QImage grab() const;

    /// Moves the pointer to @p clientPoint and clicks the left button @p clicks times.
    void click(QPoint clientPoint, int clicks = 1) const;
    /// Real key strokes (XTEST) to whatever has the keyboard focus.
    static void key(const QString& keys);
    static void type(const QString& text);
    /// Moves the pointer out of every window, so that no hover effect shows in a screenshot.
    static void parkPointer();
    /// What a window manager sends when the user clicks the close box: WM_DELETE_WINDOW.
    bool requestClose() const;

private:
    QString property(const QString& name) const;

    QString m_id;
};

/// The marrowlark executable started as a user would start it; killed when still running at
/// destruction.
class Program {
public:
    Program(const QString& workingFolder, const QStringList& arguments = {});
    /// @p binary (a build of the program with other options) in @p environment instead of this
    /// process's.
    Program(const QString& workingFolder, const QString& binary, QProcessEnvironment environment);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    QProcess& process() { return m_process; }
    qint64 pid() const { return m_process.processId(); }
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    /// Its visible top-level window once mapped (found by its _NET_WM_PID), else invalid.
    XWindow findWindow() const;
    /// findWindow() once the window shows (the X server announces it), or invalid when
    /// @p timeoutMs pass first.
    XWindow waitForWindow(int timeoutMs = kReactMs) const;
    /// Everything the program wrote to standard error so far.
    QByteArray errors();

private:
    void start(const QString& workingFolder, const QString& binary, QProcessEnvironment environment,
               const QStringList& arguments);

    QProcess m_process;
    QByteArray m_errors;
};

/// Every caption the window took, in order, as the X server announced the changes. A change
/// that is replaced before xprop reads it is not seen.
class CaptionSpy {
public:
    /// Returns once xprop has read the present caption, right before it listens for changes.
    explicit CaptionSpy(const XWindow& window);
    ~CaptionSpy();
    /// The captions seen so far; reading them drains the tool's output.
    QStringList captions();

private:
    QProcess m_process;
    QStringList m_captions;
};

/// Mean and standard deviation of the grey levels (0 to 1) of @p area in @p image.
struct AreaStatistics {
    double mean = 0;
    double deviation = 0;
};
AreaStatistics statistics(const QImage& image, const QRect& area);

/// The horizontal bands of @p area that hold anything but the background's white: one per
/// listed name (or highlighted row), top to bottom.
QList<QRect> contentRows(const QImage& image, const QRect& area);

/// How many separate dark strokes a glyph button in @p area shows, counted across its face: a
/// triangle is one stroke, the pause sign's two bars are two.
int glyphStrokes(const QImage& image, const QRect& area);

} // namespace SystemTest
