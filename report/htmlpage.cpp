#include "report/htmlpage.h"

#include "report/markuptext.h"

namespace {

const char style[] =
    "body{font-family:'Liberation Sans',Arial,sans-serif;color:#1f232b;margin:2em;max-width:1700px}"
    "h1{font-size:1.6em}h2{font-size:1.2em;margin-top:2em}"
    "table{border-collapse:collapse;font-size:.9em}"
    "th,td{border:1px solid #d5d9e0;padding:.3em .6em;text-align:right}"
    "th{background:#f4f6f9}td:nth-child(2){text-align:left}"
    "tr.flagged td{background:#fde8e8;color:#a01c1c;font-weight:bold}"
    "dl{display:grid;grid-template-columns:max-content auto;gap:.2em 1.2em}dt{font-weight:bold}dd{margin:0}"
    "pre{background:#f4f6f9;padding:.6em;white-space:pre-wrap}"
    "svg{max-width:100%;height:auto}";

QString escaped(const QString &text)
{
    return MarkupText::printable(text).toHtmlEscaped();
}

} // namespace

HtmlPage::HtmlPage(const QString &pageTitle)
    : title(pageTitle)
{
    body += QStringLiteral("<h1>%1</h1>\n").arg(escaped(title));
}

void HtmlPage::heading(const QString &text)
{
    body += QStringLiteral("<h2>%1</h2>\n").arg(escaped(text));
}

void HtmlPage::facts(const QList<QPair<QString, QString>> &facts)
{
    body += QStringLiteral("<dl>\n");
    for (const auto &fact : facts)
        body += QStringLiteral("<dt>%1</dt><dd>%2</dd>\n").arg(escaped(fact.first), escaped(fact.second));
    body += QStringLiteral("</dl>\n");
}

void HtmlPage::svg(const QByteArray &svgDocument)
{
    // The drawing itself, not a reference to a file: its texts stay searchable.
    QString markup = QString::fromUtf8(svgDocument);
    markup.remove(0, std::max(0, int(markup.indexOf(QLatin1String("<svg")))));
    body += markup + QLatin1Char('\n');
}

void HtmlPage::table(const QStringList &header, const QList<QStringList> &rows, const QList<bool> &flagged)
{
    body += QStringLiteral("<table>\n<tr>");
    for (const QString &cell : header)
        body += QStringLiteral("<th>%1</th>").arg(escaped(cell));
    body += QStringLiteral("</tr>\n");
    for (int i = 0; i < rows.size(); ++i) {
        body += flagged.value(i) ? QStringLiteral("<tr class=\"flagged\">") : QStringLiteral("<tr>");
        for (const QString &cell : rows.at(i))
            body += QStringLiteral("<td>%1</td>").arg(escaped(cell));
        body += QStringLiteral("</tr>\n");
    }
    body += QStringLiteral("</table>\n");
}

void HtmlPage::preformatted(const QString &caption, const QString &text)
{
    body += QStringLiteral("<h3>%1</h3>\n<pre>%2</pre>\n").arg(escaped(caption), escaped(text));
}

QByteArray HtmlPage::html() const
{
    return QStringLiteral("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>%1</title>\n"
                          "<style>%2</style>\n</head>\n<body>\n%3</body>\n</html>\n")
        .arg(escaped(title), QLatin1String(style), body)
        .toUtf8();
}
