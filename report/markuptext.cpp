#include "report/markuptext.h"

namespace MarkupText {

QString printable(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const ushort code = c.unicode();
        const bool pair = c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        if (pair) {
            shown += c;
            shown += text.at(++i);
        } else if (code < 0x20 && code != '\t' && code != '\n' && code != '\r') {
            shown += QChar(0x2400 + code);   // the Control Pictures block: ␀, ␁, ␇ …
        } else if (c.isSurrogate() || code == 0xfffe || code == 0xffff) {
            shown += QChar(QChar::ReplacementCharacter);
        } else {
            shown += c;
        }
    }
    return shown;
}

QString markdownCell(const QString &text)
{
    static const QLatin1String punctuation("!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~");
    QString cell;
    for (const QChar c : printable(text)) {
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QLatin1Char('\t'))
            cell += QLatin1Char(' ');
        else if (punctuation.contains(c))
            cell += QLatin1Char('\\') + c;
        else
            cell += c;
    }
    return cell;
}

} // namespace MarkupText
