#include "report/htmlpage.h"

#include "report/markuptext.h"

namespace {

const char style[] =
    "body{font-family:'Liberation Sans',Arial,sans-serif;color:#1f232b;margin:2em;max-width:1700px}"
    "h1{font-size:1.6em}h2{font-size:1.2em;margin-top:1.6em}h3{font-size:1em}"
    "table{border-collapse:collapse;font-size:.9em}"
    "th,td{border:1px solid #d5d9e0;padding:.3em .5em;text-align:right;white-space:nowrap}"
    "th{background:#f4f6f9}td:nth-child(2),th:nth-child(2){text-align:left}"
    "tr.flagged td{background:#fde8e8;color:#a01c1c;font-weight:bold}"
    "tr.doubtful td{background:#fff6e0;color:#8a5a00;font-weight:bold}"
    "table.grid th{text-align:center}table.grid td.marked{color:#8a5a00;background:#fff6e0}"
    "p.note{font-size:.85em;margin:.3em 0;max-width:60em}"
    "dl.facts{display:grid;grid-template-columns:repeat(2,max-content minmax(0,1fr));gap:.2em 1.2em;margin:1em 0}"
    "dt{font-weight:bold}dd{margin:0;overflow-wrap:anywhere}"
    "pre{background:#f4f6f9;padding:.6em;white-space:pre-wrap}"
    "figure{margin:0}figure.chart svg{max-width:100%;height:auto}"
    "figure.waveform{margin:.6em 0}figure.waveform svg{max-width:100%;height:auto}"
    "@page{size:A4 landscape;margin:10mm}"
    "@media print{"
    "body{margin:0;max-width:none;font-size:9.5pt}"
    "h1{font-size:1.4em;margin:0 0 .4em}h2{break-after:avoid}h3{break-after:avoid}"
    "figure.chart{break-inside:avoid;break-after:page}"
    "figure.chart svg{width:auto;max-width:100%;max-height:170mm}"
    "thead{display:table-header-group}tr{break-inside:avoid}"
    "figure.waveform{break-inside:avoid}figure.waveform svg{max-height:80mm;width:auto}"
    "tr.flagged td,tr.doubtful td{-webkit-print-color-adjust:exact;print-color-adjust:exact}"
    "}";

QString escaped(const QString &text)
{
    return MarkupText::printable(text).toHtmlEscaped();
}

// The drawing itself, not a reference to a file: its texts stay searchable.
QString inlineSvg(const QByteArray &svgDocument)
{
    QString markup = QString::fromUtf8(svgDocument);
    markup.remove(0, std::max(0, int(markup.indexOf(QLatin1String("<svg")))));
    return markup;
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
    body += QStringLiteral("<dl class=\"facts\">\n");
    for (const auto &fact : facts)
        body += QStringLiteral("<dt>%1</dt><dd>%2</dd>\n").arg(escaped(fact.first), escaped(fact.second));
    body += QStringLiteral("</dl>\n");
}

void HtmlPage::chart(const QByteArray &svgDocument)
{
    body += QStringLiteral("<figure class=\"chart\">\n%1</figure>\n").arg(inlineSvg(svgDocument));
}

void HtmlPage::figure(const QByteArray &svgDocument)
{
    body += QStringLiteral("<figure class=\"waveform\">\n%1</figure>\n").arg(inlineSvg(svgDocument));
}

void HtmlPage::table(const QStringList &header, const QList<QStringList> &rows, const QList<RowMark> &marks)
{
    body += QStringLiteral("<table>\n<thead><tr>");
    for (const QString &cell : header)
        body += QStringLiteral("<th>%1</th>").arg(escaped(cell));
    body += QStringLiteral("</tr></thead>\n<tbody>\n");
    for (int i = 0; i < rows.size(); ++i) {
        const RowMark mark = marks.value(i, RowMark::Plain);
        body += mark == RowMark::Failed     ? QStringLiteral("<tr class=\"flagged\">")
              : mark == RowMark::Doubtful ? QStringLiteral("<tr class=\"doubtful\">")
                                          : QStringLiteral("<tr>");
        for (const QString &cell : rows.at(i))
            body += QStringLiteral("<td>%1</td>").arg(escaped(cell));
        body += QStringLiteral("</tr>\n");
    }
    body += QStringLiteral("</tbody>\n</table>\n");
}

void HtmlPage::table(const QList<QList<HtmlCell>> &header, const QList<QList<HtmlCell>> &rows)
{
    const auto cells = [](const QList<HtmlCell> &row, const char *tag) {
        QString markup = QStringLiteral("<tr>");
        for (const HtmlCell &cell : row) {
            QString attributes;
            if (cell.columns > 1)
                attributes += QStringLiteral(" colspan=\"%1\"").arg(cell.columns);
            if (cell.rows > 1)
                attributes += QStringLiteral(" rowspan=\"%1\"").arg(cell.rows);
            if (cell.marked)
                attributes += QStringLiteral(" class=\"marked\"");
            if (!cell.title.isEmpty())
                attributes += QStringLiteral(" title=\"%1\"").arg(escaped(cell.title));
            markup += QStringLiteral("<%1%2>%3</%1>").arg(QLatin1String(tag), attributes, escaped(cell.text));
        }
        return markup + QStringLiteral("</tr>\n");
    };
    body += QStringLiteral("<table class=\"grid\">\n<thead>");
    for (const QList<HtmlCell> &row : header)
        body += cells(row, "th");
    body += QStringLiteral("</thead>\n<tbody>\n");
    for (const QList<HtmlCell> &row : rows)
        body += cells(row, "td");
    body += QStringLiteral("</tbody>\n</table>\n");
}

void HtmlPage::notes(const QStringList &paragraphs)
{
    for (const QString &paragraph : paragraphs)
        body += QStringLiteral("<p class=\"note\">%1</p>\n").arg(escaped(paragraph));
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
