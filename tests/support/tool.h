#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

/// What a tool run by runTool() did.
struct ToolResult {
    bool finished = false; ///< ran to its end within the time allowed
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
    bool ok() const { return finished && exitCode == 0; }
};

/// This process's environment with the C locale, for tools whose output is parsed.
QProcessEnvironment toolEnvironment();

/// Runs a tool under the C locale (stable output) and waits at most @p timeoutMs for it; one
/// that takes longer is killed. Blocks the calling thread; no events are processed meanwhile.
ToolResult runTool(const QString& program, const QStringList& arguments, int timeoutMs = 30000);
