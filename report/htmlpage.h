#ifndef HTMLPAGE_H
#define HTMLPAGE_H

#include <QString>
#include <QStringList>

// A self-contained HTML page: its style inline, no links, scripts or files
// outside it, so it can be attached to a review as it is. Printed, it is
// landscape A4: a chart fills a page of its own, a table's header repeats on
// every page, and no row is split across two.
class HtmlPage
{
public:
    explicit HtmlPage(const QString &title);

    void heading(const QString &text);
    void facts(const QList<QPair<QString, QString>> &facts);
    void chart(const QByteArray &svgDocument);
    // Cells are text; a row whose first cell is flagged is marked.
    void table(const QStringList &header, const QList<QStringList> &rows, const QList<bool> &flagged);
    void preformatted(const QString &caption, const QString &text);

    QByteArray html() const;

private:
    QString title;
    QString body;
};

#endif // HTMLPAGE_H
