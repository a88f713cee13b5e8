#include "sweepwindow/formparts.h"

#include "sweepwindow/reasonlabel.h"

#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLocale>
#include <QVBoxLayout>

namespace FormParts {

QDoubleSpinBox *numberBox(double maximum, int decimals, const QString &suffix, const QString &none)
{
    auto *box = new QDoubleSpinBox;
    box->setLocale(QLocale::c());
    box->setRange(0, maximum);
    box->setDecimals(decimals);
    box->setSuffix(suffix);
    box->setSpecialValueText(none);
    return box;
}

QWidget *row(std::initializer_list<QWidget *> widgets, QWidget *growing)
{
    auto *holder = new QWidget;
    auto *layout = new QHBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    for (QWidget *widget : widgets)
        layout->addWidget(widget, widget == (growing ? growing : *widgets.begin()) ? 1 : 0);
    return holder;
}

QWidget *withReason(QWidget *field, ReasonLabel *reason)
{
    auto *holder = new QWidget;
    auto *layout = new QVBoxLayout(holder);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    layout->addWidget(field);
    layout->addWidget(reason);
    return holder;
}

QString sentence(const QString &why)
{
    return why.left(1).toUpper() + why.mid(1) + QLatin1Char('.');
}

} // namespace FormParts
