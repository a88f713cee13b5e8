#ifndef HTMLPAGE_H
#define HTMLPAGE_H

#include "results/resultrow.h"

#include <QString>
#include <QStringList>

// A table cell that may span rows or columns, with a class of its own
// (`marked` for a value to read with care) and a tooltip.
struct HtmlCell
{
    HtmlCell(const QString &cellText, int spanColumns = 1, int spanRows = 1, bool isMarked = false, const QString &tooltip = {})
        : text(cellText), columns(spanColumns), rows(spanRows), marked(isMarked), title(tooltip)
    {
    }

    QString text;
    int columns = 1;
    int rows = 1;
    bool marked = false;
    QString title;
};

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
    // A smaller drawing among others, kept whole on a printed page.
    void figure(const QByteArray &svgDocument);
    // Cells are text; each row is marked as `marks` says.
    void table(const QStringList &header, const QList<QStringList> &rows, const QList<RowMark> &marks);
    // A table whose header has rows of its own, such as column groups.
    void table(const QList<QList<HtmlCell>> &header, const QList<QList<HtmlCell>> &rows);
    void preformatted(const QString &caption, const QString &text);
    void notes(const QStringList &paragraphs);

    QByteArray html() const;

private:
    QString title;
    QString body;
};

#endif // HTMLPAGE_H
