#include "meter/typedmeter.h"

#include <QTimer>

void TypedMeter::start()
{
    QTimer::singleShot(0, this, [this] { emit ready(QStringLiteral("readings typed by the operator")); });
}

void TypedMeter::configure(const MeterSettings &settings)
{
    samples = settings.samples;
    QTimer::singleShot(0, this, &Meter::configured);
}

void TypedMeter::measure()
{
    taken.clear();
    measuring = true;
    askNext();
}

void TypedMeter::finish()
{
    measuring = false;
    QTimer::singleShot(0, this, &Meter::finished);
}

void TypedMeter::abort()
{
    measuring = false;
}

QString TypedMeter::enter(const QString &text)
{
    if (!measuring)
        return QStringLiteral("no reading is wanted now");
    QString error;
    const std::optional<double> amperes = Readings::parseTyped(text, &error);
    if (!amperes)
        return error;
    taken.append({*amperes, false, Readings::now()});
    if (taken.size() < samples) {
        askNext();
    } else {
        measuring = false;
        emit measured(taken);
    }
    return QString();
}

void TypedMeter::endOfInput()
{
    if (!measuring)
        return;
    measuring = false;
    emit failed(QStringLiteral("end of input while a typed reading was wanted"));
}

void TypedMeter::askNext()
{
    emit readingWanted(taken.size() + 1, samples);
}
