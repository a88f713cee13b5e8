#ifndef HISTORYBENCH_H
#define HISTORYBENCH_H

// What the run history costs with years of runs in it: a history of 10,000
// runs of 18 modes in SQLite, made for the purpose, queried by the commands
// as scripts call them and written to as a sweep writes.
struct HistoryCost
{
    double listMilliseconds = 0;        // history --limit 20, the whole command
    double trendMilliseconds = 0;       // trend of 18 modes over every run, files drawn
    double checkMilliseconds = 0;       // check --baseline median:10
    double recordMilliseconds = 0;      // one mode row, as a sweep records it
    double budgetMilliseconds = 0;      // budget of a sensor node from a board's newest runs, files drawn
    double mebibytesPerThousandRuns = 0;
};

HistoryCost historyCost(const char *sweepProgram);

#endif // HISTORYBENCH_H
