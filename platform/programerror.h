#pragma once

#include <QString>

#include <functional>
#include <stdexcept>

/**
 * The one error type of the program.
 *
 * Every failure that a handler does not expect (a folder that cannot be read, a player call that
 * the engine refused, a lookup the system could not answer) is raised as a ProgramError carrying
 * a message meant for the user. No handler traps it: it leaves the handler at the failing step and
 * reaches the application's report of unhandled errors, which shows it and lets the window go on.
 */
class ProgramError : public std::runtime_error {
public:
    explicit ProgramError(const QString& message);

    /// The message as the user should read it.
    QString message() const;
};

/**
 * The report of unhandled errors. The application installs how an error is shown; until it does,
 * reportUnhandledError() writes the message to standard error only. GUI thread only.
 */
void setUnhandledErrorReport(std::function<void(const ProgramError&)> report);
void reportUnhandledError(const ProgramError& error);

/**
 * Binds a handler to an event so that a ProgramError escaping it goes to the report right there,
 * at the connection, instead of unwinding through Qt's own code (which is built without
 * exception cleanups and would be left with stale state and leaks). The handler itself traps
 * nothing; arguments of the signal are ignored.
 *
 *     connect(button, &QPushButton::clicked, this, reportingErrors([this] { play(); }));
 */
template <typename Handler> auto reportingErrors(Handler handler)
{
    return [handler](auto&&...) {
        try {
            handler();
        } catch (const ProgramError& error) {
            reportUnhandledError(error);
        }
    };
}
