#include "report/currentchart.h"

#include "meter/readings.h"
#include "report/markuptext.h"

#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <algorithm>

namespace {

constexpr int left = 400;      // mode labels to the left of it
constexpr int right = 1440;    // notes to the right of it
constexpr int top = 90;
constexpr int bottom = 840;    // decade labels below it

const QColor ink(0x1f, 0x23, 0x2b);
const QColor grid(0xd5, 0xd9, 0xe0);
const QColor stripe(0xf4, 0xf6, 0xf9);
const QColor limitColour(0xd0, 0x2f, 0x2f);
const QColor missingColour(0x80, 0x86, 0x90);

QFont font(int pixelSize, bool bold = false, bool italic = false)
{
    QFont chosen(QStringLiteral("Liberation Sans"));
    chosen.setStyleHint(QFont::SansSerif);
    chosen.setPixelSize(pixelSize);
    chosen.setBold(bold);
    chosen.setItalic(italic);
    return chosen;
}

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
    : title(chartTitle)
    , series(chartSeries)
    , rows(chartRows)
    , axis(LogAxis::fit(currentsOf(chartRows)))
{
    title = MarkupText::printable(title);
    for (ChartSeries &one : series)
        one.name = MarkupText::printable(one.name);
    for (ChartRow &row : rows) {
        row.label = MarkupText::printable(row.label);
        row.note = MarkupText::printable(row.note);
        for (ChartMeasure &measure : row.measures)
            measure.missing = MarkupText::printable(measure.missing);
    }
}

QByteArray CurrentChart::svg() const
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator generator;
    generator.setOutputDevice(&buffer);
    generator.setSize(QSize(width, height));
    generator.setViewBox(QRect(0, 0, width, height));
    generator.setTitle(title);
    QPainter painter(&generator);
    paint(painter);
    painter.end();
    return buffer.data();
}

QByteArray CurrentChart::png() const
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    paint(painter);
    painter.end();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return buffer.data();
}

void CurrentChart::paint(QPainter &painter) const
{
    painter.fillRect(QRect(0, 0, width, height), Qt::white);
    painter.setPen(ink);
    painter.setFont(font(26, true));
    painter.drawText(QRect(left, 20, right - left, 40), Qt::AlignLeft | Qt::AlignVCenter, title);
    const double rowHeight = double(bottom - top) / std::max(1, int(rows.size()));
    for (int row = 0; row < rows.size(); row += 2)
        painter.fillRect(QRectF(left, top + row * rowHeight, right - left, rowHeight), stripe);
    paintAxis(painter);
    for (int row = 0; row < rows.size(); ++row)
        paintRow(painter, row);
    paintLegend(painter);
}

double CurrentChart::x(double amperes) const
{
    return left + axis.position(amperes) * (right - left);
}

void CurrentChart::paintAxis(QPainter &painter) const
{
    painter.setFont(font(17));
    for (int decade : axis.decades()) {
        const double at = left + double(decade - axis.firstDecade()) / (axis.lastDecade() - axis.firstDecade()) * (right - left);
        painter.setPen(QPen(grid, 1));
        painter.drawLine(QPointF(at, top), QPointF(at, bottom));
        painter.setPen(ink);
        painter.drawText(QRectF(at - 60, bottom + 8, 120, 24), Qt::AlignCenter, LogAxis::label(decade));
    }
    painter.setPen(QPen(ink, 1.5));
    painter.drawLine(QPointF(left, bottom), QPointF(right, bottom));
    painter.setFont(font(17, false, true));
    painter.drawText(QRectF(left, bottom + 34, right - left, 24), Qt::AlignCenter,
                     QStringLiteral("current (logarithmic axis)"));
}

void CurrentChart::paintRow(QPainter &painter, int row) const
{
    const double rowHeight = double(bottom - top) / std::max(1, int(rows.size()));
    const QRectF band(0, top + row * rowHeight, width, rowHeight);
    const ChartRow &chartRow = rows.at(row);

    const int labelSize = int(std::clamp(rowHeight * 0.45, 11.0, 18.0));
    painter.setFont(font(labelSize, chartRow.flagged));
    painter.setPen(chartRow.flagged ? limitColour : ink);
    painter.drawText(QRectF(10, band.top(), left - 24, band.height()), Qt::AlignRight | Qt::AlignVCenter, chartRow.label);
    if (!chartRow.note.isEmpty())
        painter.drawText(QRectF(right + 14, band.top(), width - right - 20, band.height()), Qt::AlignLeft | Qt::AlignVCenter,
                         chartRow.note);

    const int count = chartRow.measures.size();
    for (int i = 0; i < count; ++i) {
        const ChartMeasure &measure = chartRow.measures.at(i);
        const QColor colour = series.value(i).colour;
        const double y = band.top() + band.height() * (i + 1) / (count + 1);
        if (!measure.mean) {
            painter.setFont(font(labelSize - 1, false, true));
            painter.setPen(missingColour);
            painter.drawText(QRectF(left + 8 + i * 280, y - rowHeight / 2, 270, rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                             measure.missing);
            continue;
        }
        if (axis.side(*measure.mean) != 0) {
            paintOffAxis(painter, *measure.mean, y, colour, labelSize - 1);
            continue;
        }
        painter.setPen(QPen(colour, std::clamp(rowHeight / 9, 2.0, 6.0), Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(x(*measure.min), y), QPointF(x(*measure.max), y));
        const double radius = std::clamp(rowHeight / (3.0 * count), 3.0, 8.0);
        painter.setPen(QPen(Qt::white, 1.5));
        painter.setBrush(colour.darker(140));
        painter.drawEllipse(QPointF(x(*measure.mean), y), radius, radius);
        painter.setBrush(Qt::NoBrush);
    }

    // Limits: short red bars across the row, over the marks.
    for (const std::optional<double> &limit : {chartRow.limitMin, chartRow.limitMax}) {
        if (!limit)
            continue;
        painter.setPen(QPen(limitColour, 3));
        painter.drawLine(QPointF(x(*limit), band.top() + 3), QPointF(x(*limit), band.bottom() - 3));
    }
}

// A mean the axis cannot show (zero, negative, or past its ends) is an
// arrow at the end it lies beyond, with its value, never a point that looks measured.
void CurrentChart::paintOffAxis(QPainter &painter, double amperes, double y, const QColor &colour, int textSize) const
{
    const bool below = axis.side(amperes) < 0;
    const double tip = below ? left + 4 : right - 4;
    const double back = below ? tip + 14 : tip - 14;
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour.darker(140));
    painter.drawPolygon(QPolygonF({QPointF(tip, y), QPointF(back, y - 7), QPointF(back, y + 7)}));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(ink);
    painter.setFont(font(textSize));
    const QRectF room = below ? QRectF(back + 6, y - 12, 300, 24) : QRectF(back - 306, y - 12, 300, 24);
    painter.drawText(room, (below ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter, Readings::formatAmperes(amperes));
}

void CurrentChart::paintLegend(QPainter &painter) const
{
    painter.setFont(font(16));
    double at = right;
    const auto entry = [&](const QString &text, const std::function<void(QPointF)> &mark) {
        const double textWidth = painter.fontMetrics().horizontalAdvance(text);
        at -= textWidth + 50;
        mark(QPointF(at + 12, 64));
        painter.setPen(ink);
        painter.drawText(QRectF(at + 32, 52, textWidth + 4, 24), Qt::AlignLeft | Qt::AlignVCenter, text);
    };
    const bool anyLimits = std::any_of(rows.cbegin(), rows.cend(), [](const ChartRow &row) { return row.limitMin || row.limitMax; });
    if (anyLimits) {
        entry(QStringLiteral("limits"), [&](QPointF p) {
            painter.setPen(QPen(limitColour, 3));
            painter.drawLine(p + QPointF(0, -9), p + QPointF(0, 9));
        });
    }
    for (int i = series.size() - 1; i >= 0; --i) {
        entry(series.at(i).name, [&](QPointF p) {
            painter.setPen(QPen(series.at(i).colour, 4, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(p + QPointF(-10, 0), p + QPointF(10, 0));
            painter.setPen(QPen(Qt::white, 1.5));
            painter.setBrush(series.at(i).colour.darker(140));
            painter.drawEllipse(p, 6, 6);
            painter.setBrush(Qt::NoBrush);
        });
    }
}
