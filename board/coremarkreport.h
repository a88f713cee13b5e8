#ifndef COREMARKREPORT_H
#define COREMARKREPORT_H

#include <QByteArray>

#include <optional>

// The report the firmware sends after a CoreMark run; its last line reads
// "CoreMark 1.0 : 412.34 / GCC12.2.0 -O2 / STACK".
namespace CoreMarkReport {

// The score, once its line is in the reply.
std::optional<double> score(const QByteArray &boardReply);

// The score's line has come whole.
bool isComplete(const QByteArray &boardReply);

} // namespace CoreMarkReport

#endif // COREMARKREPORT_H
