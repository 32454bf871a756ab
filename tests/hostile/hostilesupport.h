#pragma once

// What the hostile-input tests share: the window as the program builds it, driven through real
// key and clipboard events, with the application's error report captured instead of shown.

#include "application.h"
#include "form1.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace Hostile {

/// Every message that reached the application's report of unhandled errors while it lives.
class ReportSpy {
public:
    ReportSpy();
    ~ReportSpy();
    ReportSpy(const ReportSpy&) = delete;
    ReportSpy& operator=(const ReportSpy&) = delete;

    QStringList messages() const { return *m_messages; }
    int count() const { return int(m_messages->size()); }
    void clear() { m_messages->clear(); }

private:
    std::shared_ptr<QStringList> m_messages = std::make_shared<QStringList>();
};

/// Replaces the folder box's text as a paste does (select all, then Ctrl+V from the clipboard).
void paste(Form1& form, const QString& text);
/// Selects the list row showing @p name; false when there is none.
bool select(Form1& form, const QString& name);
/// Selects the first row when there is one.
void selectFirst(Form1& form);
/// Return typed in the file list: plays the selected file.
void pressEnter(Form1& form);

} // namespace Hostile

/// A test main with the program's own application object, so that errors reach its report.
#define MARROWLARK_HOSTILE_MAIN(TestClass)                                                                             \
    int main(int argc, char* argv[])                                                                                   \
    {                                                                                                                  \
        Application app(argv[0]);                                                                                      \
        TestClass test;                                                                                                \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }

namespace Hostile {

/// Runs ffmpeg with @p arguments (after "-v error -y"); false when it fails.
bool ffmpeg(const QStringList& arguments);
/// A sine tone of @p seconds as MP3 at @p path.
bool makeTone(const QString& path, double seconds);
/// Whether this process holds @p path open: the engine reads media in this process.
bool processHasOpen(const QByteArray& absolutePath);

} // namespace Hostile
