#include "ppk2/ppk2stream.h"

#include <QtEndian>

#include <algorithm>

namespace {

quint32 wordAt(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

} // namespace

Ppk2Stream::Ppk2Stream(const Ppk2Calibration &boxCalibration, double vddVolts)
    : calibration(boxCalibration)
    , vdd(vddVolts)
{
}

void Ppk2Stream::restart()
{
    filter.reset();
    buffer.clear();
    pushedBack.clear();
    waiting.reset();
    held.clear();
    heldBytes.clear();
    matchingTail = 0;
    reference = -1;
    emittedCounter = -1;
}

void Ppk2Stream::feed(const QByteArray &bytes, const Sink &sink)
{
    buffer.append(bytes);
    int at = 0;
    while (buffer.size() - at >= 4) {
        const Word word {wordAt(buffer, at)};
        at += 4;
        take(word, sink);
        if (!pushedBack.isEmpty()) {
            buffer = pushedBack + buffer.mid(at);
            pushedBack.clear();
            at = 0;
        }
    }
    buffer.remove(0, at);
}

void Ppk2Stream::finish(const Sink &sink)
{
    if (waiting)
        emitWord(*waiting, sink);
    waiting.reset();
}

void Ppk2Stream::take(const Word &word, const Sink &sink)
{
    if (reference < 0) {
        reference = word.counter();   // whatever the box starts at
        accept(word, sink);
        return;
    }
    const int expected = (reference + 1 + held.size()) & 63;
    if (held.isEmpty() && word.counter() == expected) {
        reference = word.counter();
        accept(word, sink);
        return;
    }
    // Off the count, or back on it after words that were not: the count is
    // back only when two words in a row keep it, for the words of a shifted
    // stream carry counters that may fit once by chance.
    matchingTail = word.counter() == expected ? matchingTail + 1 : 0;
    held << word;
    char bytes[4];
    qToLittleEndian(word.bits, bytes);
    heldBytes.append(bytes, 4);
    if (matchingTail >= 2) {
        // What came between had garbled counters, not lost samples.
        for (const Word &kept : qAsConst(held))
            accept(kept, sink);
        reference = word.counter();
        held.clear();
        heldBytes.clear();
        matchingTail = 0;
    } else if (held.size() > heldWords) {
        decide(sink);
    }
}

bool Ppk2Stream::counting(const QVector<Word> &words)
{
    for (int i = 1; i < words.size(); ++i) {
        if (words.at(i).counter() != ((words.at(i - 1).counter() + 1) & 63))
            return false;
    }
    return true;
}

// Six words in a row off the count: samples lost if they count among
// themselves, else a lost byte, found by the offset at which they count again.
void Ppk2Stream::decide(const Sink &sink)
{
    if (counting(held)) {
        const int gap = (held.first().counter() - reference - 1) & 63;
        if (waiting)
            emitWord(*waiting, sink);
        waiting.reset();
        lost += gap;
        position += gap;
        const QVector<Word> words = held;
        held.clear();
        heldBytes.clear();
        matchingTail = 0;
        for (const Word &word : words)
            accept(word, sink);
        reference = words.last().counter();
        return;
    }
    for (int offset = 1; offset < 4; ++offset) {
        QVector<Word> shifted;
        for (int at = offset; at + 4 <= heldBytes.size(); at += 4)
            shifted << Word {wordAt(heldBytes, at)};
        if (shifted.size() < 4 || !counting(shifted))
            continue;
        ++realigned;
        // The word that waited may hold the missing byte's place, its counter
        // fitting by chance: it goes, and the count skipped is counted from
        // the last word given out.
        const int gap = emittedCounter < 0 ? 0 : (shifted.first().counter() - emittedCounter - 1) & 63;
        lost += gap;
        position += gap;
        waiting.reset();
        for (const Word &word : qAsConst(shifted))
            accept(word, sink);
        reference = shifted.last().counter();
        pushedBack = heldBytes.mid(offset + shifted.size() * 4);
        held.clear();
        heldBytes.clear();
        matchingTail = 0;
        return;
    }
    // Nothing counts yet: the oldest word is dropped and the rest wait for more.
    held.removeFirst();
    heldBytes.remove(0, 4);
    matchingTail = std::min(matchingTail, int(held.size()));
    ++invalid;
    ++position;
}

void Ppk2Stream::accept(const Word &word, const Sink &sink)
{
    if (waiting)
        emitWord(*waiting, sink);
    waiting = word;
}

void Ppk2Stream::emitWord(const Word &word, const Sink &sink)
{
    const int range = int(word.bits >> 14) & 7;
    const qint64 at = position++;
    emittedCounter = word.counter();
    if (range >= Ppk2::rangeCount) {
        ++invalid;
        return;
    }
    Ppk2Sample sample;
    sample.position = at;
    sample.range = range;
    sample.logic = quint8(word.bits >> 24);
    sample.unfiltered = calibration.amperes(int(word.bits & 0x3fff), range, vdd);
    sample.amperes = filter.apply(sample.unfiltered, range);
    ++taken;
    sink(sample);
}
