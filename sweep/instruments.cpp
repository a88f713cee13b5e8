#include "sweep/instruments.h"

#include "meter/meterlink.h"
#include "meter/scpimeter.h"
#include "meter/typedmeter.h"
#include "ppk2/ppk2meter.h"
#include "ppk2/ppk2supply.h"
#include "supply/scpisupply.h"
#include "supply/supplymeter.h"

#include <QMap>

Instruments Instruments::of(const SweepSettings &settings)
{
    QMap<QString, std::shared_ptr<Ppk2Box>> boxes;   // by port: one connection per box
    const auto boxAt = [&boxes](const QString &port) {
        if (!boxes.contains(port))
            boxes.insert(port, std::make_shared<Ppk2Box>(port));
        return boxes.value(port);
    };
    const auto isPpk2 = [](const std::optional<MeterAddress> &address) {
        return address && address->kind == MeterAddress::Ppk2;
    };

    Instruments made;
    if (isPpk2(settings.supplyUnit))
        made.supply = std::make_unique<Ppk2Supply>(boxAt(settings.supplyUnit->device));
    else if (settings.supplyUnit)
        made.supply = std::make_unique<ScpiSupply>(MeterLink::create(*settings.supplyUnit), settings.supplyProfile);

    if (settings.meterIsSupply && isPpk2(settings.supplyUnit)) {
        made.meter = std::make_unique<Ppk2Meter>(boxAt(settings.supplyUnit->device), false);
    } else if (settings.meterIsSupply && made.supply) {
        made.meter = std::make_unique<SupplyMeter>(made.supply.get());
    } else if (isPpk2(settings.meter)) {
        // In series with the board's own supply, unless the same box powers it.
        const bool powersTheBoard = isPpk2(settings.supplyUnit) && settings.supplyUnit->device == settings.meter->device;
        made.meter = std::make_unique<Ppk2Meter>(boxAt(settings.meter->device), !powersTheBoard);
    } else if (settings.meter && settings.meter->kind == MeterAddress::Manual) {
        made.typedMeter = new TypedMeter;
        made.meter.reset(made.typedMeter);
    } else if (settings.meter) {
        made.meter = std::make_unique<ScpiMeter>(MeterLink::create(*settings.meter), settings.profile);
    }
    return made;
}
