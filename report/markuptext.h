#ifndef MARKUPTEXT_H
#define MARKUPTEXT_H

#include <QString>

namespace MarkupText {

// Text as SVG and HTML may carry it: the characters XML forbids (controls
// other than tab and line ends, U+FFFE, U+FFFF, halves of surrogate pairs)
// become visible stand-ins, so that a board's glitch or an edited cell
// never makes a file that other programs refuse.
QString printable(const QString &text);

// Text as a Markdown table cell carries it, for GitHub's and GitLab's
// renderers alike: printable, on one line, and every ASCII punctuation
// character escaped, as CommonMark lets any be, so that it shows as itself
// and can open no markup, HTML, entity, link, image, autolink or cell.
QString markdownCell(const QString &text);

} // namespace MarkupText

#endif // MARKUPTEXT_H
