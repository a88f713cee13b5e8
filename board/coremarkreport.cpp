#include "board/coremarkreport.h"

#include <QLocale>
#include <QRegularExpression>
#include <QString>

namespace CoreMarkReport {

std::optional<double> score(const QByteArray &boardReply)
{
    static const QRegularExpression scoreLine(QStringLiteral("CoreMark 1\\.0 : ([0-9]+(?:\\.[0-9]+)?)"));
    // Sized, so that a NUL from a glitch does not end the text before the score.
    const QRegularExpressionMatch match = scoreLine.match(QString::fromLatin1(boardReply.constData(), boardReply.size()));
    if (!match.hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = QLocale::c().toDouble(match.captured(1), &ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

bool isComplete(const QByteArray &boardReply)
{
    const int line = boardReply.indexOf("CoreMark 1.0 :");
    return line >= 0 && boardReply.indexOf('\n', line) >= 0 && score(boardReply);
}

} // namespace CoreMarkReport
