#ifndef LOGAXIS_H
#define LOGAXIS_H

#include <QList>
#include <QString>

// A logarithmic current axis in whole decades, from 1 nA to 1 A as the
// data needs, each decade labelled in SI units ("10 nA", "1 µA"), never as
// an exponent.
class LogAxis
{
public:
    // The decades that hold every value; a single value, or none, still gets one.
    static LogAxis fit(const QList<double> &amperes);

    // The same with a decade more below, so that the lowest values do not lie on its bottom line.
    LogAxis withDecadeBelow() const;

    int firstDecade() const { return first; }   // 10^first amperes
    int lastDecade() const { return last; }
    QList<int> decades() const;
    static QString label(int decade);

    // Where a current lies along the axis, from 0 at the first decade to 1
    // at the last; a current off the axis lies at its nearer end.
    double position(double amperes) const;
    // -1 below the axis (zero and negative currents included), 1 above it, 0 on it.
    int side(double amperes) const;

private:
    int first = -9;
    int last = -8;
};

#endif // LOGAXIS_H
