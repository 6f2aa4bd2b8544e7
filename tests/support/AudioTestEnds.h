// In-memory ends for audio graphs in tests: a source that plays samples as fast as the
// graph takes them (and waits when it is told to), and a sink that keeps all it gets.
#pragma once

#include <AsyncAudioSink.h>
#include <AsyncAudioSource.h>

#include <cstddef>
#include <vector>

class BufferSource : public Async::AudioSource
{
public:
    // Sizes of the blocks handed to the sink, used in turn (default: 160, a link's frame).
    void setBlockSizes(std::vector<int> sizes) { m_blockSizes = std::move(sizes); }

    // Queues the samples and writes what the sink accepts; with `thenFlush` the stream is
    // flushed once all of them are out, as a station that stops talking.
    void play(const std::vector<float> &samples, bool thenFlush = true);

    bool allWritten() const { return m_next == m_pending.size(); }
    bool flushed() const { return m_flushed; }

    void resumeOutput() override;
    void allSamplesFlushed() override;

private:
    void writeMore();

    std::vector<float> m_pending;
    std::size_t m_next = 0;
    std::vector<int> m_blockSizes{160};
    std::size_t m_blockIndex = 0;
    bool m_flushWhenDone = false;
    bool m_flushed = false;
    bool m_writing = false;
    bool m_resumed = false;
};

class CaptureSink : public Async::AudioSink
{
public:
    int writeSamples(const float *samples, int count) override;
    void flushSamples() override;

    const std::vector<float> &samples() const { return m_samples; }
    void clear() { m_samples.clear(); }
    int flushes() const { return m_flushes; }

private:
    std::vector<float> m_samples;
    int m_flushes = 0;
};
