#ifndef STATUSTEXTS_H
#define STATUSTEXTS_H

// What the power-mode window's status label can say.
namespace StatusTexts {

extern const char resetPrompt[];
extern const char coreMarkWaitNotice[];

} // namespace StatusTexts

#endif // STATUSTEXTS_H
