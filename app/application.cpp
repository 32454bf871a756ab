#include "application.h"

#include "identity.h"
#include "programerror.h"

#include <QMessageBox>

#include <clocale>
#include <cstdio>

namespace {

// QApplication keeps references to argc and argv for its whole life, so they live here.
struct Arguments {
    int count = 1;
    char* values[2] = {nullptr, nullptr};
};

Arguments& argumentsFor(const char* programName)
{
    static Arguments arguments;
    arguments.values[0] = const_cast<char*>(programName);
    return arguments;
}

} // namespace

Application::Application(const char* programName)
    : QApplication(argumentsFor(programName).count, argumentsFor(programName).values)
    , m_report(&Application::showErrorBox)
{
    // QApplication has just set the locale from the environment; the media engine refuses to
    // start under any numeric locale but "C" (it parses and prints numbers with a '.').
    std::setlocale(LC_NUMERIC, "C");
    setApplicationName(QString::fromLatin1(marrowlark::kName));
    setApplicationVersion(QString::fromLatin1(marrowlark::kVersion));
    setQuitOnLastWindowClosed(true);
    setUnhandledErrorReport([this](const ProgramError& error) { showUnhandledError(error.message()); });
}

Application::~Application()
{
    setUnhandledErrorReport({});
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const ProgramError& error) {
        showUnhandledError(error.message());
        return true;
    }
}

void Application::setErrorReport(ErrorReport report)
{
    m_report = std::move(report);
}

void Application::showErrorBox(const QString& message)
{
    QMessageBox box(QMessageBox::Critical, QString::fromLatin1(marrowlark::kName), message, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setObjectName(QStringLiteral("unhandledErrorBox"));
    box.exec();
}

void Application::showUnhandledError(const QString& message)
{
    std::fprintf(stderr, "Marrowlark: %s\n", message.toLocal8Bit().constData());
    std::fflush(stderr);
    m_report(message);
}
