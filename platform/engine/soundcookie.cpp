#include "soundcookie.h"

#include <QDir>
#include <QFileInfo>

void keepSoundCookieUnwritten() noexcept
{
    if (qEnvironmentVariableIsSet("PULSE_COOKIE")) {
        return;
    }
    const QString configHome = qEnvironmentVariableIsEmpty("XDG_CONFIG_HOME") ? QDir::homePath() + "/.config"
                                                                              : qEnvironmentVariable("XDG_CONFIG_HOME");
    for (const QString& cookie : {configHome + "/pulse/cookie", QDir::homePath() + "/.pulse-cookie"}) {
        if (QFileInfo::exists(cookie)) {
            return;
        }
    }
    // The library takes the first 256 bytes it reads as the cookie and writes only when it reads
    // fewer (it cannot write to a device anyway); the null device would read empty and make it fall
    // back to creating the file.
    qputenv("PULSE_COOKIE", "/dev/zero");
}
