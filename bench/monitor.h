#pragma once

// What reaches the ear, as the sound server hears it: a source (a sink's monitor) recorded in
// 10 ms fragments, each stamped with its arrival on probe::now()'s clock.
//
// A PulseAudio null sink renders its streams about one fragment ahead of the clock, and its
// monitor hands each fragment on as soon as it is rendered; a fragment's arrival is therefore
// the moment a sound card would start playing it, give or take one fragment, alike for every
// program measured.

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct pa_simple;

class SoundMonitor {
public:
    enum class Level {
        Audible, ///< RMS over the fragment at least -50 dBFS: clearly above silence
        Silent,  ///< no sample above -70 dBFS
    };

    /// Records @p source (e.g. "@DEFAULT_MONITOR@") on the server PulseAudio's client library
    /// finds (PULSE_SERVER), as 16-bit stereo at 44.1 kHz, the null sink's own format, so that
    /// nothing is resampled. Returns once the first fragment has arrived. Throws
    /// std::runtime_error with the server's reason when it cannot record.
    explicit SoundMonitor(const std::string& source);
    /// Stops recording; waits for the recording thread, at most one fragment.
    ~SoundMonitor();
    SoundMonitor(const SoundMonitor&) = delete;
    SoundMonitor& operator=(const SoundMonitor&) = delete;

    /// The arrival of the first fragment of @p level that arrived after @p after, waiting for it
    /// until @p deadline (both on probe::now()'s clock); -1 when none came by then or the
    /// recording failed. Thread-safe.
    double waitFor(Level level, double after, double deadline);

    /// Writes every fragment that arrived after @p after to standard error, its arrival relative
    /// to @p after and its RMS in dBFS, to check the levels against a recording. Thread-safe.
    void trace(double after);

private:
    struct Fragment {
        double arrival;
        double rmsDb;
        double peakDb;
    };

    void record();
    static bool matches(const Fragment& fragment, Level level);

    pa_simple* m_stream;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::vector<Fragment> m_fragments; ///< guarded by m_mutex
    bool m_failed = false;             ///< likewise
    bool m_stopping = false;           ///< likewise
    std::thread m_recorder;
};
