#include "ppk2/ppk2supply.h"

#include <QTimer>

#include <cmath>

Ppk2Supply::Ppk2Supply(std::shared_ptr<Ppk2Box> sharedBox, QObject *parent)
    : Supply(parent)
    , box(std::move(sharedBox))
{
    connect(box.get(), &Ppk2Box::failed, this, &Supply::failed);
}

void Ppk2Supply::start()
{
    box->whenOpen(this, [this] { takeSourceMode(); });
}

// The board unpowered first, so that it never sees the box's stored voltage.
void Ppk2Supply::takeSourceMode()
{
    box->setPower(false);
    box->setMode(Ppk2::PowerMode::Source);
    emit ready(box->identity());
}

void Ppk2Supply::apply(double volts, double)
{
    box->setVoltage(int(std::lround(volts * 1000)));
    box->setPower(true);
    QTimer::singleShot(0, this, &Supply::applied);
}

void Ppk2Supply::switchOff()
{
    box->setPower(false);
    QTimer::singleShot(0, this, &Supply::switchedOff);
}

void Ppk2Supply::measureVoltage()
{
    QTimer::singleShot(0, this, [this] { emit voltageMeasured(std::nullopt); });
}

// The box's current is read by its meter, which shares it; a reading asked
// of the supply is one of its meter's integration windows.
void Ppk2Supply::measureCurrent()
{
    QTimer::singleShot(0, this, [this] { emit failed(QStringLiteral("the Power Profiler Kit II's current is read by its meter")); });
}

void Ppk2Supply::finish()
{
    connect(box.get(), &Ppk2Box::closed, this, &Supply::finished);
    box->close();
}
