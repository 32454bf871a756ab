#include "programerror.h"

#include <cstdio>

namespace {

std::function<void(const ProgramError&)>& installedReport()
{
    static std::function<void(const ProgramError&)> report;
    return report;
}

} // namespace

ProgramError::ProgramError(const QString& message)
    : std::runtime_error(message.toStdString())
{
}

QString ProgramError::message() const
{
    return QString::fromUtf8(what());
}

void setUnhandledErrorReport(std::function<void(const ProgramError&)> report)
{
    installedReport() = std::move(report);
}

void reportUnhandledError(const ProgramError& error)
{
    if (installedReport()) {
        installedReport()(error);
        return;
    }
    std::fprintf(stderr, "Marrowlark: %s\n", error.what());
}
