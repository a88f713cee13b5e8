#ifndef BUDGETPROFILE_H
#define BUDGETPROFILE_H

#include <QList>
#include <QString>

#include <optional>

// A product's repeating day in the board's modes, as a profile file gives it:
//   period_s = 10
//   5 = rest                 the rest of the period (one mode at most)
//   13 = 0.005 s             a time per period (s, ms, us, min, h)
//   15 = 1 s / 60 s          a duty, or "2 %"
//   event 5 D0 = 0.1 /s      how often the mode's measured events happen (/s, /min, /h)
// '#' begins a comment. Each line keeps its number, for messages.
struct BudgetProfile
{
    struct Line
    {
        enum class Kind { Time, Rest, Event };
        Kind kind = Kind::Time;
        int number = 0;            // in the file
        int mode = 0;
        double seconds = 0;        // per period, for a time
        double share = -1;         // for a duty: the period's share; -1 for a time in seconds
        QString source;            // for an event line: "D0", "current"
        double perSecond = 0;      // for an event line
    };

    double periodSeconds = 0;
    int periodLine = 0;
    QList<Line> lines;

    // Each line's time in the period: a duty's share of it, a time as given (rest: 0).
    double secondsOf(const Line &line) const { return line.share >= 0 ? line.share * periodSeconds : line.seconds; }

    // The profile `text` holds; empty, with "PATH:LINE: why" (PATH as `name`), where a line is no profile line.
    static std::optional<BudgetProfile> parse(const QString &text, const QString &name, QString *error);
    static std::optional<BudgetProfile> load(const QString &path, QString *error);
};

#endif // BUDGETPROFILE_H
