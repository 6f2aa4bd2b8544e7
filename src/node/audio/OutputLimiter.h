// Keeps the audio going to the sound card below -6 dBFS peak, whatever arrives (several
// stations at once, a decoder fed with garbage). It looks 2 ms ahead: the gain starts to
// fall before a loud sample reaches the output and ramps, never steps, so limiting makes no
// clicks; it recovers over about 100 ms once the signal is quiet again. Quieter audio
// passes unchanged, 2 ms late.
#pragma once

#include <AsyncAudioProcessor.h>

#include <vector>

class OutputLimiter : public Async::AudioProcessor
{
public:
    static constexpr float Ceiling = 0.5f;  // -6.02 dBFS
    static constexpr int LookAhead = 32;    // samples: 2 ms at 16 kHz
    static constexpr double ReleaseSeconds = 0.1;

    explicit OutputLimiter(int sampleRate = 16000);

    // Sends out the look-ahead's last samples before passing the flush on.
    void flushSamples() override;

protected:
    void processSamples(float *dest, const float *src, int count) override;

private:
    float limit(float sample);

    float m_release;                 // per-sample share of the way back to the needed gain
    std::vector<float> m_delayed;    // the last LookAhead + 1 inputs
    std::vector<float> m_needed;     // the gain each of them needs, same positions
    std::vector<float> m_smoothing;  // the last LookAhead gains, averaged into a ramp
    int m_position = 0;
    int m_smoothingPosition = 0;
    float m_gain = 1.0f;
    bool m_holdsAudio = false;  // real samples are still inside the look-ahead
};
