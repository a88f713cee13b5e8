#include "report/budgetchart.h"

#include "meter/readings.h"

#include <QPainter>

#include <algorithm>

namespace {

const QColor barColour(0x2f, 0x6f, 0xc0);
const QColor topColour(0xd0, 0x70, 0x1c);
constexpr double rowTexts = 2.4;   // a bar's row, in text heights

QString label(const BudgetRow &row)
{
    return QStringLiteral("%1  %2").arg(row.index).arg(row.mode);
}

} // namespace

BudgetChart::BudgetChart(const Budget &budget)
    : Chart(QStringLiteral("Share of the charge per period: average %1").arg(Readings::formatAmperes(budget.averageA())))
    , rows(budget.rows)
{
}

QSize BudgetChart::fileSize() const
{
    return QSize(width, int(fileTextPixels * (6 + rowTexts * rows.size())));
}

void BudgetChart::paint(QPainter &painter, const QSizeF &size, double textPixels) const
{
    painter.fillRect(QRectF(QPointF(0, 0), size), Qt::white);
    const double margin = textPixels * 0.8;
    painter.setPen(ink);
    painter.setFont(font(textPixels * 1.3, true));
    paintTitle(painter, QRectF(margin, margin, size.width() - 2 * margin, textPixels * 1.8));

    QStringList labels;
    for (const BudgetRow &row : rows)
        labels << label(row);
    const QFont labelFont = font(textPixels);
    // A few pixels' slack: the measure is not the painter's to the last of them.
    const double left = margin + std::min(widest(labelFont, labels) + 4, size.width() * 0.45) + textPixels;
    const double right = size.width() - margin - textPixels * 4.5;
    const double top = margin + textPixels * 3;
    const double rowHeight = std::max(textPixels * 1.6, std::min(textPixels * rowTexts, (size.height() - top - margin) / std::max(1, int(rows.size()))));
    const auto largest = std::max_element(rows.cbegin(), rows.cend(), [](const BudgetRow &a, const BudgetRow &b) { return a.share < b.share; });
    painter.setFont(labelFont);
    for (int i = 0; i < rows.size(); ++i) {
        const BudgetRow &row = rows.at(i);
        const double y = top + i * rowHeight;
        const QRectF labelRoom(margin, y, left - margin - textPixels, rowHeight);
        painter.setPen(ink);
        painter.drawText(labelRoom, Qt::AlignRight | Qt::AlignVCenter,
                         painter.fontMetrics().elidedText(label(row), Qt::ElideMiddle, int(labelRoom.width())));
        const double length = std::max(1.0, row.share * (right - left));
        painter.fillRect(QRectF(left, y + rowHeight * 0.18, length, rowHeight * 0.64), &row == &*largest ? topColour : barColour);
        painter.drawText(QRectF(left + length + textPixels * 0.4, y, textPixels * 5, rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         Readings::formatShare(row.share));
    }
    painter.setPen(QPen(ink, 1.5));
    painter.drawLine(QPointF(left, top), QPointF(left, top + rowHeight * rows.size()));
}
