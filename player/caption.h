#pragma once

#include <QString>

/**
 * The caption for a playing or paused file: its location with every occurrence of the folder
 * prefix (the folder text followed by "/") removed, searched from the start, left to right,
 * without overlaps, case-sensitively. An empty folder text makes the prefix "/" alone, so every
 * separator goes. Pure; never throws.
 */
QString captionForLocation(const QString& location, const QString& folderText);
