// The 8 <-> 16 kHz conversion between links and the audio library: speech-band tones keep
// frequency and level, what lies above 4 kHz is removed both ways, a steady level stays
// steady, and how the input is cut into blocks never changes the output.
#include "AudioAnalysis.h"
#include "AudioTestEnds.h"
#include "AudioTestMain.h"
#include "node/audio/Downsampler.h"
#include "node/audio/Upsampler.h"

#include <QTest>

using namespace AudioAnalysis;

class tst_resampling : public QObject
{
    Q_OBJECT
private:
    // Plays `input` through the processors in order, in blocks of the given sizes, and
    // returns what comes out once the stream is flushed.
    std::vector<float> run(std::vector<Async::AudioProcessor *> chain, const std::vector<float> &input,
                           std::vector<int> blockSizes = {160})
    {
        BufferSource source;
        CaptureSink sink;
        source.setBlockSizes(std::move(blockSizes));
        Async::AudioSource *previous = &source;
        for (Async::AudioProcessor *p : chain) {
            previous->registerSink(p);
            previous = p;
        }
        previous->registerSink(&sink);
        source.play(input);
        if (!QTest::qWaitFor([&] { return source.flushed(); }, 5000))
            return {};  // never flushed: nothing for the checks to find
        for (Async::AudioProcessor *p : chain)
            p->unregisterSink();
        return sink.samples();
    }

private Q_SLOTS:
    void speechBandTonesKeepFrequencyAndLevel_data()
    {
        QTest::addColumn<double>("frequency");
        QTest::newRow("300 Hz") << 300.0;
        QTest::newRow("1 kHz") << 1000.0;
        QTest::newRow("3 kHz") << 3000.0;
    }

    void speechBandTonesKeepFrequencyAndLevel()
    {
        QFETCH(double, frequency);
        const auto input = tone(frequency, -12.0, 1.0, 8000);
        Upsampler up;
        Downsampler down;
        const auto at16k = run({&up}, input);
        QCOMPARE(at16k.size(), input.size() * 2);
        const auto middle16k = slice(at16k, 16000, 0.1, 0.9);
        QCOMPARE(dominantFrequency(middle16k, 16000), frequency);
        QVERIFY2(std::abs(toneLevelDbfs(middle16k, frequency, 16000) + 12.0) < 0.5,
                 qPrintable(QString::number(toneLevelDbfs(middle16k, frequency, 16000))));
        // Interpolation leaves an image at 8 kHz - f unless the low-pass removes it.
        QVERIFY(toneLevelDbfs(middle16k, 8000.0 - frequency, 16000) < -12.0 - 50.0);

        Upsampler up2;
        const auto back = slice(run({&up2, &down}, input), 8000, 0.1, 0.9);
        QCOMPARE(dominantFrequency(back, 8000, 50.0, 3950.0), frequency);
        const double level = toneLevelDbfs(back, frequency, 8000);
        QVERIFY2(std::abs(level + 12.0) < 0.5, qPrintable(QString::number(level)));
    }

    void downsamplerRemovesWhatLiesAbove4kHz_data()
    {
        QTest::addColumn<double>("frequency");
        QTest::newRow("4.1 kHz") << 4100.0;
        QTest::newRow("6 kHz") << 6000.0;
        QTest::newRow("7.5 kHz") << 7500.0;
    }

    void downsamplerRemovesWhatLiesAbove4kHz()
    {
        QFETCH(double, frequency);
        Downsampler down;
        const auto out = slice(run({&down}, tone(frequency, -6.0, 1.0, 16000)), 8000, 0.1, 0.9);
        // Anything left would fold back to 8 kHz - f.
        const double alias = toneLevelDbfs(out, 8000.0 - frequency, 8000);
        QVERIFY2(alias < -6.0 - 50.0, qPrintable(QString::number(alias)));
        QVERIFY(rmsDbfs(out) < -6.0 - 50.0);
    }

    void steadyLevelStaysSteady()
    {
        const std::vector<float> dc8k(4000, 0.25f), dc16k(8000, 0.25f);
        Upsampler up;
        Downsampler down;
        for (const auto &out :
             {slice(run({&up}, dc8k), 16000, 0.05, 0.45), slice(run({&down}, dc16k), 8000, 0.05, 0.45)}) {
            QVERIFY(!out.empty());
            for (float x : out)
                QVERIFY2(std::abs(x - 0.25f) < 1e-4f, qPrintable(QString::number(x)));
        }
    }

    void blockSizesDoNotChangeTheOutput()
    {
        // A sweep of tones makes every output sample depend on its exact inputs.
        std::vector<float> input;
        for (double f : {440.0, 1330.0, 2710.0, 3500.0}) {
            const auto t = tone(f, -10.0, 0.05, 16000);
            input.insert(input.end(), t.begin(), t.end());
        }
        const std::vector<std::vector<int>> splits{{1}, {3, 7, 1, 13}, {5, 255, 2}, {1000}};

        std::vector<float> reference;
        for (const auto &blocks : splits) {
            Downsampler down;
            const auto out = run({&down}, input, blocks);
            if (reference.empty())
                reference = out;
            QCOMPARE(out, reference);
        }
        QCOMPARE(reference.size(), input.size() / 2);

        reference.clear();
        const auto input8k = std::vector<float>(input.begin(), input.begin() + input.size() / 2);
        for (const auto &blocks : splits) {
            Upsampler up;
            const auto out = run({&up}, input8k, blocks);
            if (reference.empty())
                reference = out;
            QCOMPARE(out, reference);
        }
        QCOMPARE(reference.size(), input8k.size() * 2);
    }
};

AUDIO_TEST_MAIN(tst_resampling)
#include "tst_resampling.moc"
