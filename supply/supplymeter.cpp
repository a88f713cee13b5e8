#include "supply/supplymeter.h"

#include "supply/supply.h"

#include <QTimer>

SupplyMeter::SupplyMeter(Supply *boardSupply, QObject *parent)
    : Meter(parent)
    , supply(boardSupply)
{
    connect(supply, &Supply::currentMeasured, this, &SupplyMeter::take);
    connect(supply, &Supply::failed, this, [this](const QString &reason) {
        if (std::exchange(measuring, false))
            emit failed(reason);
    });
}

// Each answer goes out from the event loop, as a meter's does.
void SupplyMeter::start()
{
    QTimer::singleShot(0, this, [this] { emit ready(supplyIdentity); });
}

void SupplyMeter::configure(const MeterSettings &settings)
{
    wanted = settings.samples;
    QTimer::singleShot(0, this, &Meter::configured);
}

void SupplyMeter::measure()
{
    readings.clear();
    measuring = true;
    readingBefore = false;
    supply->measureCurrent();
}

void SupplyMeter::readBefore()
{
    measuring = true;
    readingBefore = true;
    supply->measureCurrent();
}

void SupplyMeter::take(const Reading &reading)
{
    if (!measuring)
        return;
    if (std::exchange(readingBefore, false)) {
        measuring = false;
        emit before(reading);
        return;
    }
    readings << reading;
    if (readings.size() < wanted) {
        supply->measureCurrent();
        return;
    }
    measuring = false;
    emit measured(readings);
}

void SupplyMeter::finish()
{
    measuring = false;
    QTimer::singleShot(0, this, &Meter::finished);
}

void SupplyMeter::abort()
{
    measuring = false;
    readingBefore = false;
}
