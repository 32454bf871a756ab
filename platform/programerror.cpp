#include "programerror.h"

ProgramError::ProgramError(const QString& message)
    : std::runtime_error(message.toStdString())
{
}

QString ProgramError::message() const
{
    return QString::fromUtf8(what());
}
