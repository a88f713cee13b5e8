#ifndef EXITCODES_H
#define EXITCODES_H

// pellmora-sweep's exit status, which scripts and CI jobs act on.
namespace ExitCode {

constexpr int allPassed = 0;       // every mode ran, none FAIL (or compare: no mode changed)
constexpr int someFailed = 1;      // a FAIL or ENTRY? verdict (or compare: a mode changed past the threshold)
constexpr int badInput = 2;        // usage or input refused before anything was sent
constexpr int benchFailed = 3;     // the board or the meter failed; finished modes kept
constexpr int signalBase = 128;    // + the signal's number when interrupted

} // namespace ExitCode

#endif // EXITCODES_H
