// An FIR filter split into phases that share one input history: phase p of P applies
// taps p, p+P, p+2P... to the newest inputs. One phase over all taps filters a stream
// that is then decimated; two phases produce the even and odd outputs of a stream
// interpolated by two without computing the inserted zeros.
#pragma once

#include <vector>

class PolyphaseFir
{
public:
    PolyphaseFir(const std::vector<double> &taps, int phases);

    void push(float sample);
    // Forgets the inputs: the next output is as if the filter had heard only silence.
    void clear();
    float output(int phase) const;

    // Multiplies one phase's taps, e.g. to give each phase of an interpolator unity gain.
    void scalePhase(int phase, double factor);
    double phaseSum(int phase) const;

private:
    int m_length;                              // taps per phase
    std::vector<std::vector<float>> m_phases;  // each phase's taps, oldest input first
    std::vector<float> m_history;              // the newest m_length inputs, stored twice
    int m_newest = 0;
};
