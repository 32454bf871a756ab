#pragma once

#include <QApplication>

#include <functional>

/**
 * The application object. Besides Qt's own work it is the report of unhandled errors: a
 * ProgramError that escapes an event handler is written to standard error and shown in a modal
 * message box titled "Marrowlark"; then the event loop goes on and the window stays usable.
 * Handlers bound with reportingErrors() (programerror.h) hand their errors to this report at the
 * connection; notify() catches any other that reaches the boundary of event dispatch. Errors of
 * other types are not caught.
 */
class Application final : public QApplication {
    Q_OBJECT

public:
    /// Shows an error message to the user; the default is the modal message box.
    using ErrorReport = std::function<void(const QString& message)>;

    /// Takes the program's name alone: no argument, Qt's own included, has any effect.
    explicit Application(const char* programName);
    ~Application() override;

    bool notify(QObject* receiver, QEvent* event) override;

    /// Replaces how an unhandled error is shown (standard error is written to in any case).
    void setErrorReport(ErrorReport report);
    /// The message box the default report shows.
    static void showErrorBox(const QString& message);

private:
    void showUnhandledError(const QString& message);

    ErrorReport m_report;
};
