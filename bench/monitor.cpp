#include "monitor.h"

#include "probe.h"

#include <pulse/error.h>
#include <pulse/simple.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <stdexcept>

namespace {

constexpr int kRate = 44100;
constexpr int kChannels = 2;
constexpr size_t kFragmentSamples = size_t(kRate / 100) * kChannels;
constexpr double kAudibleRmsDb = -50;
constexpr double kSilentPeakDb = -70;

double decibels(double level)
{
    return level > 0 ? 20 * std::log10(level) : -200;
}

} // namespace

SoundMonitor::SoundMonitor(const std::string& source)
{
    const pa_sample_spec format{PA_SAMPLE_S16LE, kRate, kChannels};
    // One fragment a read: the server hands each on at once instead of gathering them.
    const auto fragmentBytes = uint32_t(kFragmentSamples * sizeof(int16_t));
    const pa_buffer_attr buffering{uint32_t(-1), uint32_t(-1), uint32_t(-1), uint32_t(-1), fragmentBytes};
    int error = 0;
    m_stream = pa_simple_new(nullptr, "marrowlark-earprobe", PA_STREAM_RECORD, source.c_str(), "the path to the ear",
                             &format, nullptr, &buffering, &error);
    if (m_stream == nullptr) {
        throw std::runtime_error(std::string("cannot record ") + source + ": " + pa_strerror(error));
    }
    m_recorder = std::thread([this] { record(); });
    std::unique_lock lock(m_mutex);
    if (!m_arrived.wait_for(lock, std::chrono::seconds(5), [this] { return !m_fragments.empty() || m_failed; }) ||
        m_failed) {
        m_stopping = true;
        lock.unlock();
        m_recorder.join();
        pa_simple_free(m_stream);
        throw std::runtime_error("no fragment came from " + source);
    }
}

SoundMonitor::~SoundMonitor()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_recorder.join();
    pa_simple_free(m_stream);
}

void SoundMonitor::record()
{
    std::vector<int16_t> samples(kFragmentSamples);
    for (;;) {
        int error = 0;
        const bool read = pa_simple_read(m_stream, samples.data(), samples.size() * sizeof(int16_t), &error) == 0;
        const double arrival = probe::now();
        double sum = 0;
        int peak = 0;
        for (const int16_t sample : samples) {
            sum += double(sample) * sample;
            peak = std::max(peak, std::abs(int(sample)));
        }
        const std::lock_guard lock(m_mutex);
        if (!read) {
            std::fprintf(stderr, "recording stopped: %s\n", pa_strerror(error));
            m_failed = true;
        } else {
            m_fragments.push_back(
                {arrival, decibels(std::sqrt(sum / double(samples.size())) / 32768), decibels(peak / 32768.0)});
        }
        m_arrived.notify_all();
        if (m_stopping || m_failed) {
            return;
        }
    }
}

bool SoundMonitor::matches(const Fragment& fragment, Level level)
{
    return level == Level::Audible ? fragment.rmsDb >= kAudibleRmsDb : fragment.peakDb <= kSilentPeakDb;
}

double SoundMonitor::waitFor(Level level, double after, double deadline)
{
    std::unique_lock lock(m_mutex);
    size_t next = 0;
    for (;;) {
        for (; next < m_fragments.size(); ++next) {
            if (m_fragments[next].arrival > after && matches(m_fragments[next], level)) {
                return m_fragments[next].arrival;
            }
        }
        const double left = deadline - probe::now();
        if (m_failed || left <= 0) {
            return -1;
        }
        m_arrived.wait_for(lock, std::chrono::duration<double>(std::min(left, 0.05)));
    }
}

void SoundMonitor::trace(double after)
{
    const std::lock_guard lock(m_mutex);
    for (const Fragment& fragment : m_fragments) {
        if (fragment.arrival > after) {
            std::fprintf(stderr, "%8.1f ms %7.1f dBFS\n", (fragment.arrival - after) * 1000, fragment.rmsDb);
        }
    }
}
