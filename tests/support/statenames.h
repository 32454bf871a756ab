#pragma once

#include "playerfacade.h"

#include <QList>
#include <QStringList>

#include <utility>

/// The state codes under the names that test tables use: "Playing", "Paused", ...
inline PlayState stateNamed(const QString& name)
{
    static const std::pair<const char*, PlayState> names[] = {
        {"Undefined", PlayStateUndefined}, {"Stopped", PlayStateStopped},     {"Paused", PlayStatePaused},
        {"Playing", PlayStatePlaying},     {"Buffering", PlayStateBuffering}, {"MediaEnded", PlayStateMediaEnded},
        {"Ready", PlayStateReady},
    };
    for (const auto& [text, state] : names) {
        if (name == QLatin1String(text)) {
            return state;
        }
    }
    qFatal("no play state is named %s", qPrintable(name));
}

/// "Playing Paused Playing" as the list of their codes.
inline QList<int> statesNamed(const QString& names)
{
    QList<int> states;
    for (const QString& name : names.split(u' ', Qt::SkipEmptyParts)) {
        states.append(stateNamed(name));
    }
    return states;
}
