#ifndef PPK2STREAM_H
#define PPK2STREAM_H

#include "ppk2/ppk2protocol.h"
#include "ppk2/spikefilter.h"

#include <QByteArray>
#include <QVector>

#include <functional>
#include <optional>

// One sample as the host takes it: its place on the box's clock (lost
// samples keep their places), its current through the spike filter and as
// it came, its range, and the digital inputs D0 to D7 (bit n = Dn).
struct Ppk2Sample
{
    qint64 position = 0;
    double amperes = 0;
    double unfiltered = 0;
    int range = 0;
    quint8 logic = 0;
};

// The box's sample stream: four-byte little-endian words with no mark of
// where one begins, each with a six-bit counter. The byte phase is kept
// across reads; a counter that skips counts the samples lost; a few words
// that break the count are held back until it is clear whether their
// counters were garbled (two words in a row keep the count again: they
// count), samples were lost (the count jumps and goes on), or a byte was
// lost and every word after it is shifted, in which case the stream is
// realigned on the offset where the counter counts again. A shifted word is never taken for a current.
class Ppk2Stream
{
public:
    using Sink = std::function<void(const Ppk2Sample &)>;

    Ppk2Stream(const Ppk2Calibration &calibration, double vddVolts);

    // At every start: the byte phase, the counter's reference and the filter.
    void restart();
    void setVddVolts(double volts) { vdd = volts; }
    void feed(const QByteArray &bytes, const Sink &sink);
    // At a stop: the last word, which waited for one more.
    void finish(const Sink &sink);

    qint64 received() const { return taken; }          // samples taken, lost ones not included
    qint64 lostSamples() const { return lost; }         // by the counter
    qint64 invalidSamples() const { return invalid; }   // a range the box does not have
    int realignments() const { return realigned; }

    static constexpr int heldWords = 5;   // garbled counters tolerated before deciding

private:
    struct Word
    {
        quint32 bits;
        int counter() const { return int(bits >> 18) & 63; }
    };
    void take(const Word &word, const Sink &sink);
    void decide(const Sink &sink);
    // Gives out the word that waited, and lets this one wait.
    void accept(const Word &word, const Sink &sink);
    void emitWord(const Word &word, const Sink &sink);
    static bool counting(const QVector<Word> &words);

    Ppk2Calibration calibration;
    double vdd;
    SpikeFilter filter;
    QByteArray buffer;       // bytes not taken yet, 0 to 3 between reads
    QByteArray pushedBack;   // bytes a realignment gives back to the stream
    std::optional<Word> waiting;
    QVector<Word> held;      // words whose counters break the count
    QByteArray heldBytes;    // their bytes, to realign on
    int matchingTail = 0;    // held words at the end that keep the count
    int reference = -1;      // the last counter taken; -1 before the first
    int emittedCounter = -1; // of the last word given out
    qint64 position = 0;
    qint64 taken = 0;
    qint64 lost = 0;
    qint64 invalid = 0;
    int realigned = 0;
};

#endif // PPK2STREAM_H
