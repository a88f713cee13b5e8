#include "report/currentchart.h"

#include "meter/readings.h"
#include "report/markuptext.h"

#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

const QColor stripe(0xf4, 0xf6, 0xf9);
const QColor missingColour(0x80, 0x86, 0x90);

QList<double> currentsOf(const QList<ChartRow> &rows)
{
    QList<double> currents;
    for (const ChartRow &row : rows) {
        for (const ChartMeasure &measure : row.measures) {
            for (const std::optional<double> &value : {measure.mean, measure.min, measure.max}) {
                if (value)
                    currents << *value;
            }
        }
        for (const std::optional<double> &limit : {row.limitMin, row.limitMax}) {
            if (limit)
                currents << *limit;
        }
    }
    return currents;
}

} // namespace

CurrentChart::CurrentChart(const QString &chartTitle, const QList<ChartSeries> &chartSeries, const QList<ChartRow> &chartRows)
    : Chart(chartTitle)
    , series(chartSeries)
    , rows(chartRows)
    , axis(LogAxis::fit(currentsOf(chartRows)))
{
    for (ChartSeries &one : series)
        one.name = MarkupText::printable(one.name);
    for (ChartRow &row : rows) {
        row.label = MarkupText::printable(row.label);
        row.note = MarkupText::printable(row.note);
        for (ChartMeasure &measure : row.measures)
            measure.missing = MarkupText::printable(measure.missing);
    }
}

// Labels to the left of the plot, notes to its right, the title and legend
// above and the decades below, each as wide or high as its text needs.
CurrentChart::Layout CurrentChart::layout(const QSizeF &size, double textPixels) const
{
    Layout where;
    where.text = textPixels;
    const double margin = textPixels * 0.6;
    QStringList labels;
    QStringList notes;
    for (const ChartRow &row : rows) {
        labels << row.label;
        notes << row.note;
    }
    const double left = margin + widest(font(textPixels, true), labels) + textPixels;
    const double notesWidth = widest(font(textPixels, true), notes);
    const double right = size.width() - margin - (notesWidth > 0 ? notesWidth + textPixels : textPixels * 2);
    const double top = margin + textPixels * 1.45 * 1.4 + textPixels * 1.6;
    const double bottom = size.height() - margin - textPixels * 1.4 * 2 - textPixels * 0.4;
    where.plot = QRectF(QPointF(left, top), QPointF(std::max(left + textPixels * 8, right), std::max(top + textPixels, bottom)));
    where.rowHeight = where.plot.height() / std::max(1, int(rows.size()));
    return where;
}

double CurrentChart::Layout::x(const LogAxis &axis, double amperes) const
{
    return plot.left() + axis.position(amperes) * plot.width();
}

void CurrentChart::paint(QPainter &painter, const QSizeF &size, double textPixels) const
{
    const Layout where = layout(size, textPixels);
    painter.fillRect(QRectF(QPointF(0, 0), size), Qt::white);
    painter.setPen(ink);
    painter.setFont(font(textPixels * 1.45, true));
    paintTitle(painter, QRectF(where.plot.left(), textPixels * 0.6, size.width() - textPixels * 0.6 - where.plot.left(),
                               textPixels * 1.45 * 1.4));
    for (int row = 0; row < rows.size(); row += 2)
        painter.fillRect(QRectF(where.plot.left(), where.plot.top() + row * where.rowHeight, where.plot.width(), where.rowHeight),
                         stripe);
    paintAxis(painter, where);
    for (int row = 0; row < rows.size(); ++row)
        paintRow(painter, where, row);
    paintLegend(painter, where);
}

void CurrentChart::paintAxis(QPainter &painter, const Layout &where) const
{
    const QRectF &plot = where.plot;
    const double text = where.text * 0.95;
    painter.setFont(font(text));
    // Every decade's line; in a narrow pane, a label every second or third decade, so that none overlap.
    const double spacing = plot.width() / (axis.lastDecade() - axis.firstDecade());
    QStringList labels;
    for (int decade : axis.decades())
        labels << LogAxis::label(decade);
    const int step = std::max(1, int(std::ceil((widest(painter.font(), labels) + text) / spacing)));
    for (int decade : axis.decades()) {
        const double at = plot.left() + (decade - axis.firstDecade()) * spacing;
        painter.setPen(QPen(grid, 1));
        painter.drawLine(QPointF(at, plot.top()), QPointF(at, plot.bottom()));
        if ((decade - axis.firstDecade()) % step != 0)
            continue;
        painter.setPen(ink);
        painter.drawText(QRectF(at - text * 4, plot.bottom() + text * 0.4, text * 8, text * 1.4), Qt::AlignCenter,
                         LogAxis::label(decade));
    }
    painter.setPen(QPen(ink, 1.5));
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
    painter.setFont(font(text, false, true));
    painter.drawText(QRectF(plot.left(), plot.bottom() + text * 1.8, plot.width(), text * 1.4), Qt::AlignCenter,
                     QStringLiteral("current (logarithmic axis)"));
}

void CurrentChart::paintRow(QPainter &painter, const Layout &where, int row) const
{
    const QRectF &plot = where.plot;
    const double rowHeight = where.rowHeight;
    const QRectF band(0, plot.top() + row * rowHeight, plot.right(), rowHeight);
    const ChartRow &chartRow = rows.at(row);

    // The text shrinks only where the rows are too low for it.
    const double labelSize = std::min(where.text, rowHeight * 0.8);
    painter.setFont(font(labelSize, chartRow.flagged));
    painter.setPen(chartRow.flagged ? flagColour : ink);
    painter.drawText(QRectF(where.text * 0.6, band.top(), plot.left() - where.text * 1.6, band.height()),
                     Qt::AlignRight | Qt::AlignVCenter, chartRow.label);
    if (!chartRow.note.isEmpty())
        painter.drawText(QRectF(plot.right() + where.text * 0.6, band.top(), where.text * 40, band.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, chartRow.note);

    const int count = chartRow.measures.size();
    const double lane = rowHeight / (count + 1);   // each run's own slice of the row
    for (int i = 0; i < count; ++i) {
        const ChartMeasure &measure = chartRow.measures.at(i);
        const QColor colour = series.value(i).colour;
        const double y = band.top() + lane * (i + 1);
        if (!measure.mean) {
            const QFont missingFont = font(std::min(where.text * 0.9, lane * 1.6), false, true);
            painter.setFont(missingFont);
            painter.setPen(missingColour);
            const QRectF room(plot.left() + where.text * 0.5, y - lane / 2 - lane * 0.3, plot.width() - where.text, lane * 1.6);
            painter.drawText(room.intersected(band), Qt::AlignLeft | Qt::AlignVCenter,
                             QFontMetricsF(missingFont).elidedText(measure.missing, Qt::ElideRight, room.width()));
            continue;
        }
        if (axis.side(*measure.mean) != 0) {
            paintOffAxis(painter, where, *measure.mean, y, colour, labelSize * 0.95);
            continue;
        }
        painter.setPen(QPen(colour, std::clamp(rowHeight / 9, 2.0, 6.0), Qt::SolidLine, Qt::RoundCap));
        drawRoundEnded(painter, QPointF(where.x(axis, *measure.min), y), QPointF(where.x(axis, *measure.max), y));
        const double radius = std::clamp(rowHeight / (3.0 * count), 3.0, 8.0);
        painter.setPen(QPen(Qt::white, 1.5));
        painter.setBrush(colour.darker(140));
        painter.drawEllipse(QPointF(where.x(axis, *measure.mean), y), radius, radius);
        painter.setBrush(Qt::NoBrush);
    }

    // Limits: short red bars across the row, over the marks.
    for (const std::optional<double> &limit : {chartRow.limitMin, chartRow.limitMax}) {
        if (!limit)
            continue;
        painter.setPen(QPen(flagColour, 3));
        painter.drawLine(QPointF(where.x(axis, *limit), band.top() + 3), QPointF(where.x(axis, *limit), band.bottom() - 3));
    }
}

// A mean the axis cannot show (zero, negative, or past its ends) is an
// arrow at the end it lies beyond, with its value, never a point that looks measured.
void CurrentChart::paintOffAxis(QPainter &painter, const Layout &where, double amperes, double y, const QColor &colour,
                                double textSize) const
{
    const bool below = axis.side(amperes) < 0;
    const double size = textSize * 0.75;
    const double tip = below ? where.plot.left() + 4 : where.plot.right() - 4;
    const double back = below ? tip + size : tip - size;
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour.darker(140));
    painter.drawPolygon(QPolygonF({QPointF(tip, y), QPointF(back, y - size / 2), QPointF(back, y + size / 2)}));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(ink);
    painter.setFont(font(textSize));
    const double roomWidth = textSize * 12;
    const QRectF room = below ? QRectF(back + size / 2, y - textSize, roomWidth, textSize * 2)
                              : QRectF(back - size / 2 - roomWidth, y - textSize, roomWidth, textSize * 2);
    painter.drawText(room, (below ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter, Readings::formatAmperes(amperes));
}

void CurrentChart::paintLegend(QPainter &painter, const Layout &where) const
{
    const double text = where.text * 0.9;
    painter.setFont(font(text));
    const double y = where.plot.top() - where.text * 0.9;
    double at = where.plot.right();
    const auto entry = [&](const QString &label, const std::function<void(QPointF)> &mark) {
        const double textWidth = painter.fontMetrics().horizontalAdvance(label);
        at -= textWidth + text * 3;
        mark(QPointF(at + text * 0.7, y));
        painter.setPen(ink);
        painter.drawText(QRectF(at + text * 1.8, y - text * 0.75, textWidth + 4, text * 1.5), Qt::AlignLeft | Qt::AlignVCenter,
                         label);
    };
    const bool anyLimits = std::any_of(rows.cbegin(), rows.cend(), [](const ChartRow &row) { return row.limitMin || row.limitMax; });
    if (anyLimits) {
        entry(QStringLiteral("limits"), [&](QPointF p) {
            painter.setPen(QPen(flagColour, 3));
            painter.drawLine(p + QPointF(0, -text / 2), p + QPointF(0, text / 2));
        });
    }
    for (int i = series.size() - 1; i >= 0; --i) {
        entry(series.at(i).name, [&](QPointF p) {
            painter.setPen(QPen(series.at(i).colour, 4, Qt::SolidLine, Qt::RoundCap));
            drawRoundEnded(painter, p + QPointF(-text * 0.6, 0), p + QPointF(text * 0.6, 0));
            painter.setPen(QPen(Qt::white, 1.5));
            painter.setBrush(series.at(i).colour.darker(140));
            painter.drawEllipse(p, text / 3, text / 3);
            painter.setBrush(Qt::NoBrush);
        });
    }
}
