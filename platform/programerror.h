#pragma once

#include <QString>

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
