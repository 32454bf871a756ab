#include "systemsupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <xcb/xcb.h>

#include <poll.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace SystemTest {

namespace {

QString firstLine(const QByteArray& output)
{
    return QString::fromUtf8(output).section(u'\n', 0, 0);
}

int matchedNumber(const QString& text, const QString& pattern)
{
    const QRegularExpressionMatch match = QRegularExpression(pattern).match(text);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

QSize hintedSize(const QString& hints, const QString& which)
{
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("program specified %1 size: (\\d+) by (\\d+)").arg(which)).match(hints);
    return match.hasMatch() ? QSize(match.captured(1).toInt(), match.captured(2).toInt()) : QSize();
}

// The value of an xprop line such as `_NET_WM_NAME(UTF8_STRING) = "Marrowlark"`.
std::optional<QString> quotedValue(const QString& line)
{
    const qsizetype first = line.indexOf(u'"');
    const qsizetype last = line.lastIndexOf(u'"');
    if (first < 0 || last <= first) {
        return std::nullopt;
    }
    return line.mid(first + 1, last - first - 1);
}

struct XcbDisconnect {
    void operator()(xcb_connection_t* connection) const { xcb_disconnect(connection); }
};
using XcbConnection = std::unique_ptr<xcb_connection_t, XcbDisconnect>;

xcb_atom_t internAtom(xcb_connection_t* connection, const char* name)
{
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

// Waits for the next event from the X server until @p deadline; false when none came.
bool nextEvent(xcb_connection_t* connection, const QDeadlineTimer& deadline)
{
    xcb_generic_event_t* event = xcb_poll_for_event(connection);
    while (event == nullptr && !deadline.hasExpired() && !xcb_connection_has_error(connection)) {
        pollfd readable{xcb_get_file_descriptor(connection), POLLIN, 0};
        poll(&readable, 1, int(deadline.remainingTime()));
        event = xcb_poll_for_event(connection);
    }
    const bool came = event != nullptr;
    std::free(event);
    return came;
}

} // namespace

QString testDisplay()
{
    return qEnvironmentVariable("MARROWLARK_TEST_DISPLAY");
}

QString workFolder(const QString& testName)
{
    const QString suiteWork = qEnvironmentVariable("MARROWLARK_TEST_WORK");
    if (!suiteWork.isEmpty()) {
        QDir folder(suiteWork + u'/' + testName);
        folder.removeRecursively();
        folder.mkpath(QStringLiteral("."));
        return folder.path();
    }
    static QTemporaryDir temporary;
    QDir(temporary.path()).mkpath(testName);
    return temporary.path() + u'/' + testName;
}

bool makeTone(const QString& path, double seconds, int hertz)
{
    const QString source =
        QStringLiteral("aevalsrc=0.8*sin(%1*2*PI*t):s=%2:d=%3").arg(hertz).arg(SinkRecorder::kRate).arg(seconds);
    return runTool(QStringLiteral("ffmpeg"), {"-loglevel", "error", "-y", "-f", "lavfi", "-i", source, path}).ok();
}

// XWindow

QString XWindow::property(const QString& name) const
{
    return QString::fromUtf8(runTool(QStringLiteral("xprop"), {"-id", m_id, name}).output);
}

QString XWindow::caption() const
{
    return firstLine(runTool(QStringLiteral("xdotool"), {"getwindowname", m_id}).output);
}

QRect XWindow::geometry() const
{
    const QString info = QString::fromUtf8(runTool(QStringLiteral("xwininfo"), {"-id", m_id}).output);
    return QRect(matchedNumber(info, QStringLiteral("Absolute upper-left X:\\s+(-?\\d+)")),
                 matchedNumber(info, QStringLiteral("Absolute upper-left Y:\\s+(-?\\d+)")),
                 matchedNumber(info, QStringLiteral("Width:\\s+(\\d+)")),
                 matchedNumber(info, QStringLiteral("Height:\\s+(\\d+)")));
}

QSize XWindow::minimumSize() const
{
    return hintedSize(property(QStringLiteral("WM_NORMAL_HINTS")), QStringLiteral("minimum"));
}

QSize XWindow::maximumSize() const
{
    return hintedSize(property(QStringLiteral("WM_NORMAL_HINTS")), QStringLiteral("maximum"));
}

QImage XWindow::grab() const
{
    const ToolResult shot = runTool(QStringLiteral("import"), {"-window", m_id, "png:-"});
    return shot.ok() ? QImage::fromData(shot.output, "PNG").convertToFormat(QImage::Format_RGB32) : QImage();
}

void XWindow::click(QPoint clientPoint, int clicks) const
{
    // Every press and release in one go: the pauses of xdotool's own "click" could stretch a
    // double-click into two single clicks on a busy machine.
    QStringList arguments{"mousemove", "--window", m_id, QString::number(clientPoint.x()),
                          QString::number(clientPoint.y())};
    for (int click = 0; click < clicks; ++click) {
        arguments += QStringList{"mousedown", "1", "mouseup", "1"};
    }
    runTool(QStringLiteral("xdotool"), arguments);
}

void XWindow::key(const QString& keys)
{
    runTool(QStringLiteral("xdotool"), {"key", keys});
}

void XWindow::type(const QString& text)
{
    runTool(QStringLiteral("xdotool"), {"type", "--delay", "20", "--", text});
}

void XWindow::parkPointer()
{
    runTool(QStringLiteral("xdotool"), {"mousemove", "1270", "1010"});
}

bool XWindow::requestClose() const
{
    XcbConnection connection(xcb_connect(nullptr, nullptr));
    if (xcb_connection_has_error(connection.get())) {
        return false;
    }
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = m_id.toUInt(nullptr, 0);
    event.type = internAtom(connection.get(), "WM_PROTOCOLS");
    event.data.data32[0] = internAtom(connection.get(), "WM_DELETE_WINDOW");
    event.data.data32[1] = XCB_CURRENT_TIME;
    // Checked, so that the server has dealt with it before the connection closes.
    const xcb_void_cookie_t sent = xcb_send_event_checked(connection.get(), 0, event.window, XCB_EVENT_MASK_NO_EVENT,
                                                          reinterpret_cast<const char*>(&event));
    xcb_generic_error_t* error = xcb_request_check(connection.get(), sent);
    const bool delivered = error == nullptr;
    std::free(error);
    return delivered;
}

QImage settledGrab(const XWindow& window, const PictureCheck& shows, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QImage previous;
    while (!deadline.hasExpired()) {
        const QImage current = window.grab();
        if (!current.isNull() && current == previous && shows(current)) {
            return current;
        }
        previous = current;
        QTest::qWait(50);
    }
    return QImage();
}

PictureCheck listing(qsizetype rows)
{
    return [rows](const QImage& picture) { return contentRows(picture, kListInside).size() == rows; };
}

// Program

Program::Program(const QString& workingFolder, const QStringList& arguments)
{
    start(workingFolder, QStringLiteral(MARROWLARK_BINARY), QProcessEnvironment::systemEnvironment(), arguments);
}

Program::Program(const QString& workingFolder, const QString& binary, QProcessEnvironment environment)
{
    start(workingFolder, binary, std::move(environment), {});
}

void Program::start(const QString& workingFolder, const QString& binary, QProcessEnvironment environment,
                    const QStringList& arguments)
{
    // On X11, which these tests check, also where a Wayland display is about: Qt would take that.
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    m_process.setProcessEnvironment(environment);
    m_process.setWorkingDirectory(workingFolder);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.start(binary, arguments);
    m_process.waitForStarted();
}

Program::~Program()
{
    if (isRunning()) {
        m_process.kill();
        m_process.waitForFinished();
    }
}

XWindow Program::findWindow() const
{
    const ToolResult found =
        runTool(QStringLiteral("xdotool"), {"search", "--onlyvisible", "--pid", QString::number(pid())});
    return XWindow(found.ok() ? firstLine(found.output) : QString());
}

XWindow Program::waitForWindow(int timeoutMs) const
{
    // A top-level window that maps is announced to those who watch the root window's children.
    XcbConnection connection(xcb_connect(nullptr, nullptr));
    xcb_connection_t* x = connection.get();
    if (xcb_connection_has_error(x)) {
        return findWindow();
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    std::free(xcb_request_check(x, xcb_change_window_attributes_checked(x, root, XCB_CW_EVENT_MASK, &mask)));
    const QDeadlineTimer deadline(timeoutMs);
    XWindow window = findWindow();
    while (!window.isValid() && nextEvent(x, deadline)) {
        window = findWindow();
    }
    return window;
}

QByteArray Program::errors()
{
    m_errors += m_process.readAllStandardError();
    return m_errors;
}

// CaptionSpy

CaptionSpy::CaptionSpy(const XWindow& window)
{
    m_process.setProcessEnvironment(toolEnvironment());
    m_process.start(QStringLiteral("xprop"), {"-spy", "-id", window.id(), "_NET_WM_NAME"});
    // xprop prints the caption it finds, then listens for changes.
    const QDeadlineTimer deadline(kReactMs);
    while (!m_process.canReadLine() && m_process.waitForReadyRead(int(deadline.remainingTime()))) {
    }
}

CaptionSpy::~CaptionSpy()
{
    m_process.kill();
    m_process.waitForFinished();
}

QStringList CaptionSpy::captions()
{
    while (m_process.canReadLine()) {
        if (const auto caption = quotedValue(QString::fromUtf8(m_process.readLine()))) {
            m_captions.append(*caption);
        }
    }
    return m_captions;
}

// Pictures

AreaStatistics statistics(const QImage& image, const QRect& area)
{
    double sum = 0;
    double squares = 0;
    const QRect inside = area & image.rect();
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        for (int x = inside.left(); x <= inside.right(); ++x) {
            const double grey = qGray(image.pixel(x, y)) / 255.0;
            sum += grey;
            squares += grey * grey;
        }
    }
    const double count = double(inside.width()) * inside.height();
    if (count == 0) {
        return {};
    }
    const double mean = sum / count;
    return {mean, std::sqrt(std::max(0.0, squares / count - mean * mean))};
}

namespace {

bool rowHasContent(const QImage& image, int y, int left, int right)
{
    constexpr int kBackground = 200; // lighter than this is the list's white
    for (int x = left; x <= right; ++x) {
        if (qGray(image.pixel(x, y)) < kBackground) {
            return true;
        }
    }
    return false;
}

bool columnIsDark(const QImage& image, int x, int top, int bottom)
{
    constexpr int kInk = 100;
    for (int y = top; y <= bottom; ++y) {
        if (qGray(image.pixel(x, y)) < kInk) {
            return true;
        }
    }
    return false;
}

} // namespace

QList<QRect> contentRows(const QImage& image, const QRect& area)
{
    QList<QRect> rows;
    const QRect inside = area & image.rect();
    bool inRow = false;
    for (int y = inside.top(); y <= inside.bottom(); ++y) {
        const bool content = rowHasContent(image, y, inside.left(), inside.right());
        if (content && !inRow) {
            rows.append(QRect(inside.left(), y, inside.width(), 1));
        } else if (content) {
            rows.last().setBottom(y);
        }
        inRow = content;
    }
    return rows;
}

int glyphStrokes(const QImage& image, const QRect& area)
{
    // Inside the button's frame, which is darker than its face.
    const QRect face = area.adjusted(3, 3, -3, -3) & image.rect();
    int strokes = 0;
    bool inStroke = false;
    for (int x = face.left(); x <= face.right(); ++x) {
        const bool dark = columnIsDark(image, x, face.top(), face.bottom());
        strokes += dark && !inStroke ? 1 : 0;
        inStroke = dark;
    }
    return strokes;
}

} // namespace SystemTest
