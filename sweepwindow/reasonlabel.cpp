#include "sweepwindow/reasonlabel.h"

#include <QResizeEvent>

ReasonLabel::ReasonLabel(QWidget *parent)
    : QLabel(parent)
{
    setFixedHeight(fontMetrics().lineSpacing() + 2);
    setTextFormat(Qt::PlainText);
    // Its width is whatever the layout gives; the text is cut to it.
    setMinimumWidth(1);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void ReasonLabel::say(const QString &reason, bool trouble)
{
    full = reason;
    setStyleSheet(trouble ? QStringLiteral("color: #a01c1c;") : QStringLiteral("color: #1b6b2a;"));
    setToolTip(reason);
    fit();
}

void ReasonLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    fit();
}

void ReasonLabel::fit()
{
    setText(fontMetrics().elidedText(full, Qt::ElideRight, std::max(0, width() - 2)));
}
