// The output limiter and the level meters: quiet audio passes untouched, loud audio and
// garbage never exceed -6 dBFS, the gain ramps without clicks and recovers; the meter
// reads peak and RMS of what passed since it was last read.
#include "AudioAnalysis.h"
#include "AudioTestEnds.h"
#include "AudioTestMain.h"
#include "node/audio/AudioLevel.h"
#include "node/audio/LevelMeter.h"
#include "node/audio/OutputLimiter.h"

#include <QTest>

#include <random>

using namespace AudioAnalysis;

class tst_limiter : public QObject
{
    Q_OBJECT
private:
    std::vector<float> limited(const std::vector<float> &input)
    {
        BufferSource source;
        OutputLimiter limiter;
        CaptureSink sink;
        source.registerSink(&limiter);
        limiter.registerSink(&sink);
        source.play(input);
        if (!QTest::qWaitFor([&] { return source.flushed(); }, 5000))
            return {};  // never flushed: nothing for the checks to find
        return sink.samples();
    }

    static std::vector<float> joined(std::initializer_list<std::vector<float>> parts)
    {
        std::vector<float> all;
        for (const auto &p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    }

private Q_SLOTS:
    void quietAudioPassesUnchanged()
    {
        const auto input = tone(1000.0, -7.0, 0.5, 16000);
        const auto output = limited(input);
        // Everything comes out, the look-ahead's silence first.
        QCOMPARE(output.size(), input.size() + OutputLimiter::LookAhead);
        for (size_t i = 0; i < input.size(); ++i)
            QCOMPARE(output[i + OutputLimiter::LookAhead], input[i]);
    }

    void loudAudioStaysBelowCeilingWithoutClicks()
    {
        // Quiet, then a sudden full-scale tone, then quiet again.
        const auto input = joined(
            {tone(440.0, -20.0, 0.3, 16000), tone(440.0, 0.0, 0.5, 16000), tone(440.0, -20.0, 1.0, 16000)});
        const auto output = limited(input);
        QVERIFY(peakDbfs(output) <= -6.0);
        // Limited, not silenced: the loud part sits just under the ceiling.
        QVERIFY(peakDbfs(slice(output, 16000, 0.4, 0.8)) > -6.5);

        // The gain is the output over the input it came from (measured away from zero
        // crossings); where it changes, it ramps: a drop from 1 to 0.5 spread over the
        // 2 ms look-ahead is 1/64 a sample, where a clipper would step at once.
        double steepest = 0.0, lastGain = 1.0;
        size_t lastIndex = 0;
        for (size_t i = 0; i < input.size(); ++i) {
            if (std::abs(input[i]) < 0.05f)
                continue;
            const double gain = output[i + OutputLimiter::LookAhead] / input[i];
            if (lastIndex > 0)
                steepest = std::max(steepest, std::abs(gain - lastGain) / double(i - lastIndex));
            lastGain = gain;
            lastIndex = i;
        }
        QVERIFY2(steepest < 0.02, qPrintable(QString::number(steepest)));

        // Back to full gain within half a second of quiet.
        const auto recovered = slice(output, 16000, 1.3, 1.8);
        QVERIFY(std::abs(toneLevelDbfs(recovered, 440.0, 16000) + 20.0) < 0.1);
    }

    void garbageStaysBelowCeiling()
    {
        std::mt19937 random(11);
        std::uniform_real_distribution<float> fullScale(-1.0f, 1.0f);
        std::vector<float> noise(16000);
        for (float &x : noise)
            x = fullScale(random);
        // Single full-scale spikes in silence as well.
        std::vector<float> spikes(8000, 0.0f);
        for (size_t i = 100; i < spikes.size(); i += 777)
            spikes[i] = (i % 2) ? 1.0f : -1.0f;
        const auto output = limited(joined({noise, spikes}));
        QVERIFY2(peakDbfs(output) <= -6.0, qPrintable(QString::number(peakDbfs(output))));
    }

    void meterReadsPeakAndRms()
    {
        BufferSource source;
        LevelMeter meter;
        CaptureSink sink;
        source.registerSink(&meter);
        meter.registerSink(&sink);

        source.play(tone(1000.0, -12.0, 0.5, 16000), false);
        auto levels = meter.takeLevels();
        QVERIFY(std::abs(levels.peakDbfs + 12.0) < 0.05);
        QVERIFY(std::abs(levels.rmsDbfs - (-12.0 - 3.01)) < 0.05);  // a sine's RMS
        QCOMPARE(sink.samples().size(), size_t(8000));              // and it passed on

        levels = meter.takeLevels();  // nothing since
        QCOMPARE(levels.peakDbfs, AudioLevel::FloorDbfs);
        QCOMPARE(levels.rmsDbfs, AudioLevel::FloorDbfs);

        source.play(tone(1000.0, -30.0, 0.1, 16000), false);
        QVERIFY(std::abs(meter.takeLevels().peakDbfs + 30.0) < 0.05);
    }
};

AUDIO_TEST_MAIN(tst_limiter)
#include "tst_limiter.moc"
