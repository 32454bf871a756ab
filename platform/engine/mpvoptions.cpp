#include "mpvoptions.h"

#include "identity.h"
#include "soundservers.h"

#include <QByteArray>

#include <iterator>
#include <vector>

namespace {

// Set before initialisation. Each line closes a door the engine would otherwise open by itself:
// its own window, configuration files, scripts, resume data, files loaded beside the media,
// playlist expansion (which can reach the network from a local file), key bindings and an OSD.
// The sound outputs ("ao") come first, chosen from the servers that are there (see mpvEngineOptions()).
constexpr EngineOption kOptions[] = {
    {"vo", "libmpv"},
    {"audio-fallback-to-null", "yes"}, // silent play without a sound server; soundserverwatch.h
    // A quarter second of sound buffered at the sound server: the engine then wakes a few times a
    // second instead of dozens, halving the CPU that playing audio costs. Pausing and switching
    // files still act at once; only a volume change is heard up to that quarter second late.
    {"pulse-buffer", "250"},
    {"pipewire-buffer", "250"},
    {"audio-client-name", marrowlark::kName},
    {"config", "no"},
    {"load-scripts", "no"},
    {"ytdl", "no"},
    {"load-stats-overlay", "no"},
    {"load-osd-console", "no"},
    {"load-auto-profiles", "no"},
    {"osc", "no"},
    {"input-default-bindings", "no"},
    {"input-builtin-bindings", "no"},
    {"input-vo-keyboard", "no"},
    {"input-cursor", "no"},
    {"input-media-keys", "no"},
    {"input-terminal", "no"},
    {"terminal", "no"},
    {"osd-level", "0"},
    {"idle", "yes"},
    {"keep-open", "no"},
    {"loop-file", "no"},
    {"loop-playlist", "no"},
    {"resume-playback", "no"},
    {"save-position-on-quit", "no"},
    {"sub-auto", "no"},
    {"sid", "no"},
    {"audio-file-auto", "no"},
    {"cover-art-auto", "no"},
    {"autoload-files", "no"},
    {"access-references", "no"},
    {"speed", "1"},
    {"volume", "50"}, // kStartVolume
    {"mute", "no"},
    {"video-unscaled", kUnscaledInStrip},
    {"video-timing-offset", "0"}, // otherwise each render call blocks up to a frame period
    {"hwdec", "no"},
    {"stop-screensaver", "no"},
};

} // namespace

std::span<const EngineOption> mpvEngineOptions()
{
    // Chosen once, as the first engine is created: by the first input into the window the
    // session's sound server is up.
    static const QByteArray outputs = soundOutputList();
    static const std::vector<EngineOption> options = [] {
        std::vector<EngineOption> all{{"ao", outputs.constData()}};
        all.insert(all.end(), std::begin(kOptions), std::end(kOptions));
        return all;
    }();
    return options;
}
