#pragma once

#include <span>
#include <utility>

/**
 * @file
 * How the player sets the media engine up: the options given to every engine before it is
 * initialised. Thread-safe; the list is made once, at the first call, and never changes.
 */

/// An option set on the engine before it is initialised: its name and its value.
using EngineOption = std::pair<const char*, const char*>;

/// The display strip's picture at its own size, scaled only down (the `video-unscaled` value).
inline constexpr const char* kUnscaledInStrip = "downscale-big";

/// The volume every engine starts with (the `volume` option below), 0 to 100.
inline constexpr double kStartVolume = 50;

/// The options, in order. The sound outputs come first, chosen from the servers that are there
/// at the first call (soundservers.h).
std::span<const EngineOption> mpvEngineOptions();
