#include "report/trendchart.h"

#include "report/markuptext.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

// Eighteen lines that can be told apart, dark enough on white.
const QRgb palette[] = {
    0x1f77b4, 0xff7f0e, 0x2ca02c, 0x9467bd, 0x8c564b, 0xe377c2, 0x7f7f7f, 0xbcbd22, 0x17becf,
    0x393b79, 0xad494a, 0x637939, 0xe7ba52, 0x7b4173, 0x000000, 0x6baed6, 0x9c9ede, 0x8ca252,
};

QList<double> meansOf(const QList<TrendLine> &lines)
{
    QList<double> means;
    for (const TrendLine &line : lines) {
        for (const std::optional<double> &mean : line.means) {
            if (mean)
                means << *mean;
        }
    }
    return means;
}

} // namespace

TrendChart::TrendChart(const QString &chartTitle, const QStringList &labels, const QList<TrendLine> &trendLines)
    : Chart(chartTitle)
    , runLabels(labels)
    , lines(trendLines)
    , axis(LogAxis::fit(meansOf(trendLines)))
{
    for (QString &label : runLabels)
        label = MarkupText::printable(label);
    for (TrendLine &line : lines)
        line.label = MarkupText::printable(line.label);
}

QStringList TrendChart::lineLabels() const
{
    QStringList labels;
    for (const TrendLine &line : lines)
        labels << line.label;
    return labels;
}

QColor TrendChart::colour(int line)
{
    return QColor(palette[size_t(line) % std::size(palette)]);
}

double TrendChart::Layout::x(int run) const
{
    return plot.left() + (run + 0.5) / std::max(1, runs) * plot.width();
}

double TrendChart::Layout::y(const LogAxis &axis, double amperes) const
{
    return plot.bottom() - axis.position(amperes) * plot.height();
}

// Decades to the left, runs below, the legend to the right, each as wide as its text.
TrendChart::Layout TrendChart::layout(const QSizeF &size, double textPixels) const
{
    Layout where;
    where.text = textPixels;
    where.runs = runLabels.size();
    const double margin = textPixels * 0.6;
    QStringList decades;
    for (int decade : axis.decades())
        decades << LogAxis::label(decade);
    QStringList labels;
    for (const TrendLine &line : lines)
        labels << line.label;
    const double legendWidth = std::min(widest(font(textPixels * 0.9), labels) + textPixels * 2.4, size.width() * 0.35);
    const double left = margin + widest(font(textPixels * 0.95), decades) + textPixels * 0.8;
    const double top = margin + textPixels * 1.45 * 1.4 + textPixels * 0.6;
    const double right = size.width() - margin - legendWidth - textPixels;
    const double bottom = size.height() - margin - textPixels * 1.4 * 2 - textPixels * 0.4;
    where.plot = QRectF(QPointF(left, top), QPointF(std::max(left + textPixels * 8, right), std::max(top + textPixels, bottom)));
    where.legend = QRectF(where.plot.right() + textPixels, top, legendWidth, where.plot.height());
    where.entryHeight = std::min(textPixels * 1.4, where.plot.height() / std::max(1, int(lines.size())));
    return where;
}

void TrendChart::paint(QPainter &painter, const QSizeF &size, double textPixels) const
{
    const Layout where = layout(size, textPixels);
    painter.fillRect(QRectF(QPointF(0, 0), size), Qt::white);
    painter.setPen(ink);
    painter.setFont(font(textPixels * 1.45, true));
    paintTitle(painter, QRectF(where.plot.left(), textPixels * 0.6, size.width() - textPixels * 0.6 - where.plot.left(),
                               textPixels * 1.45 * 1.4));
    paintAxes(painter, where);
    if (runLabels.isEmpty() || lines.isEmpty()) {
        painter.setPen(ink);
        painter.setFont(font(textPixels, false, true));
        painter.drawText(where.plot, Qt::AlignCenter, QStringLiteral("no runs to show"));
        return;
    }
    painter.save();
    painter.setClipRect(where.plot.adjusted(-textPixels, -textPixels, textPixels, textPixels));
    for (int line = 0; line < lines.size(); ++line)
        paintLine(painter, where, line);
    painter.restore();
    paintLegend(painter, where);
}

// Each decade a grid line, and as many run labels as fit side by side.
void TrendChart::paintAxes(QPainter &painter, const Layout &where) const
{
    const QRectF &plot = where.plot;
    const double text = where.text * 0.95;
    painter.setFont(font(text));
    for (int decade : axis.decades()) {
        const double at = where.y(axis, std::pow(10.0, decade));
        painter.setPen(QPen(grid, 1));
        painter.drawLine(QPointF(plot.left(), at), QPointF(plot.right(), at));
        painter.setPen(ink);
        painter.drawText(QRectF(0, at - text, plot.left() - text * 0.5, text * 2), Qt::AlignRight | Qt::AlignVCenter,
                         LogAxis::label(decade));
    }
    painter.setPen(QPen(ink, 1.5));
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
    const QFontMetricsF metrics(painter.font());
    const double labelWidth = widest(painter.font(), runLabels) + text;
    const int step = std::max(1, int(std::ceil(labelWidth / (plot.width() / std::max(1, where.runs)))));
    for (int run = 0; run < where.runs; run += step) {
        const double at = where.x(run);
        painter.setPen(QPen(ink, 1));
        painter.drawLine(QPointF(at, plot.bottom()), QPointF(at, plot.bottom() + text * 0.3));
        painter.drawText(QRectF(at - labelWidth / 2, plot.bottom() + text * 0.35, labelWidth, text * 1.4), Qt::AlignCenter,
                         metrics.elidedText(runLabels.at(run), Qt::ElideRight, labelWidth));
    }
    painter.setFont(font(text, false, true));
    painter.drawText(QRectF(plot.left(), plot.bottom() + text * 1.8, plot.width(), text * 1.4), Qt::AlignCenter,
                     QStringLiteral("runs, oldest first, by firmware or date; mean current on a logarithmic axis"));
}

// Runs that fall on one pixel column of the plot, as one line draws them.
struct TrendChart::Column
{
    double x = 0;
    double top = 0, bottom = 0;   // the highest and lowest point on the axis
    bool onAxis = false;
    int offAxis = 0;              // -1 a mean below the axis, 1 above it
    bool failed = false;
};

// The line's runs gathered by pixel column, where there are more runs than
// columns: a line through each column's highest and lowest point looks the
// same as one through every run, and costs a column's worth, not a run's.
QList<TrendChart::Column> TrendChart::columnsOf(const Layout &where, const TrendLine &line) const
{
    QList<Column> columns;
    const bool dense = where.runs > where.plot.width();
    for (int run = 0; run < line.means.size() && run < where.runs; ++run) {
        const double x = dense ? std::floor(where.x(run)) + 0.5 : where.x(run);
        if (columns.isEmpty() || columns.last().x != x)
            columns << Column {x};
        Column &column = columns.last();
        column.failed = column.failed || line.failed.value(run);
        const std::optional<double> &mean = line.means.at(run);
        if (!mean)
            continue;
        const int side = axis.side(*mean);
        if (side != 0) {
            column.offAxis = side;
            continue;
        }
        const double y = where.y(axis, *mean);
        column.top = column.onAxis ? std::min(column.top, y) : y;
        column.bottom = column.onAxis ? std::max(column.bottom, y) : y;
        column.onAxis = true;
    }
    return columns;
}

// A polyline through the columns that have a current on the axis, broken
// where one has none; a mean off the axis is a small arrow at the end it
// lies beyond, never a point that looks measured.
void TrendChart::paintLine(QPainter &painter, const Layout &where, int index) const
{
    const QColor lineColour = colour(index);
    const QList<Column> columns = columnsOf(where, lines.at(index));
    const bool dots = columns.size() <= where.plot.width() / 8;
    QPolygonF stretch;
    // Where runs outnumber pixel columns the line is a one-pixel trace of
    // each column's spread, which Qt draws on a fast path. A wider line Qt
    // strokes in time that grows much faster than its length, so it goes in
    // short pieces that share their ends: the same line, ten times faster.
    const bool dense = where.runs > where.plot.width();
    const auto flush = [&] {
        // A one-pixel trace needs no round ends, and keeps Qt's fast path.
        painter.setPen(QPen(lineColour, dense ? 1 : 2, Qt::SolidLine, dense ? Qt::FlatCap : Qt::RoundCap, Qt::RoundJoin));
        const int piece = dense ? std::max(2, int(stretch.size())) : 9;
        for (int first = 0; first + 1 < stretch.size(); first += piece - 1) {
            const int count = std::min(piece, int(stretch.size()) - first);
            if (dense)
                painter.drawPolyline(stretch.constData() + first, count);
            else
                drawRoundEnded(painter, stretch.constData() + first, count);
        }
        stretch.clear();
    };
    for (const Column &column : columns) {
        if (column.offAxis != 0) {
            // Inside the plot, its tip at the end the mean lies beyond.
            const double tip = column.offAxis < 0 ? where.plot.bottom() - 2 : where.plot.top() + 2;
            const double back = tip + column.offAxis * where.text * 0.6;
            const double half = where.text * 0.3;
            painter.setPen(Qt::NoPen);
            painter.setBrush(lineColour);
            painter.drawPolygon(QPolygonF({QPointF(column.x, tip), QPointF(column.x - half, back), QPointF(column.x + half, back)}));
            painter.setBrush(Qt::NoBrush);
        }
        if (!column.onAxis) {
            flush();
            continue;
        }
        stretch << QPointF(column.x, column.top);
        if (column.bottom - column.top >= 0.5)
            stretch << QPointF(column.x, column.bottom);
        const QPointF point(column.x, (column.top + column.bottom) / 2);
        if (dots) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(lineColour);
            painter.drawEllipse(point, 3, 3);
            painter.setBrush(Qt::NoBrush);
        }
        if (column.failed) {
            painter.setPen(QPen(flagColour, 2));
            painter.drawEllipse(point, where.text * 0.4, where.text * 0.4);
        }
    }
    flush();
}

void TrendChart::paintLegend(QPainter &painter, const Layout &where) const
{
    const double text = std::min(where.text * 0.9, where.entryHeight * 0.85);
    painter.setFont(font(text));
    const QFontMetricsF metrics(painter.font());
    for (int line = 0; line < lines.size(); ++line) {
        const double y = where.legend.top() + (line + 0.5) * where.entryHeight;
        painter.setPen(QPen(colour(line), 3, Qt::SolidLine, Qt::RoundCap));
        drawRoundEnded(painter, QPointF(where.legend.left(), y), QPointF(where.legend.left() + text * 1.4, y));
        painter.setPen(ink);
        const QRectF room(where.legend.left() + text * 2, y - where.entryHeight / 2, where.legend.width() - text * 2,
                          where.entryHeight);
        painter.drawText(room, Qt::AlignLeft | Qt::AlignVCenter, metrics.elidedText(lines.at(line).label, Qt::ElideRight, room.width()));
    }
    if (std::any_of(lines.cbegin(), lines.cend(), [](const TrendLine &line) { return line.failed.contains(true); })) {
        const double y = where.legend.top() + (lines.size() + 0.8) * where.entryHeight;
        painter.setPen(QPen(flagColour, 2));
        painter.drawEllipse(QPointF(where.legend.left() + text * 0.7, y), text * 0.4, text * 0.4);
        painter.setPen(ink);
        painter.drawText(QRectF(where.legend.left() + text * 2, y - where.entryHeight / 2, where.legend.width(), where.entryHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("FAIL"));
    }
}
