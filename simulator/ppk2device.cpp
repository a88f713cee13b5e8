#include "simulator/ppk2device.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

Ppk2Device::Ppk2Device()
{
    // A real unit's shunts differ from the nominal ones; the other terms
    // are small, but a host that drops them is off.
    constants.r = {1004.2308959961, 100.8734512329, 10.4200000763, 0.9613214731, 0.0562734567};
    constants.gs = {1.0, 0.8, 15.2, 2.1, 0.004};
    constants.gi = {0.99, 1.01, 0.9647, 1.02, 0.97};
    constants.o = {65.4, 55.1, 59.8, 61.2, 63.9};
    constants.s = {2e-9, 1.5e-7, 5.0e-6, 4.0e-5, 1.2e-4};
    constants.i = {-1.5e-9, 2.0e-8, 3.3e-5, -6.0e-5, 2.0e-4};
    constants.ug = {1.0, 1.0, 1.0, 1.0, 1.0};
}

QByteArray Ppk2Device::metadata(int vddMillivolts, Ppk2::PowerMode mode) const
{
    const QLocale c = QLocale::c();
    QString text = QStringLiteral("Calibrated: 0\n");
    const auto family = [&](const char *key, const Ppk2Calibration::PerRange &values) {
        for (int range = 0; range < Ppk2::rangeCount; ++range)
            text += QStringLiteral("%1%2: %3\n").arg(QLatin1String(key)).arg(range).arg(c.toString(values[size_t(range)], 'f', 20));
    };
    family("R", constants.r);
    family("GS", constants.gs);
    family("GI", constants.gi);
    family("O", constants.o);
    text += QStringLiteral("VDD: %1\nHW: 9173\nmode: %2\n").arg(vddMillivolts).arg(int(mode));
    family("S", constants.s);
    family("I", constants.i);
    family("UG", constants.ug);
    text += QStringLiteral("IA: 56\nEND\n");
    return text.toLatin1();
}

int Ppk2Device::rangeFor(double amperes)
{
    static const double tops[] = {50e-6, 500e-6, 5e-3, 50e-3};
    return int(std::find_if(std::begin(tops), std::end(tops), [amperes](double top) { return amperes < top; }) - std::begin(tops));
}

quint32 Ppk2Device::word(double amperes, int counter, double vddVolts, quint8 logic) const
{
    return word(amperes, rangeFor(amperes), counter, vddVolts, logic);
}

quint32 Ppk2Device::word(double amperes, int range, int counter, double vddVolts, quint8 logic) const
{
    return word(int(std::lround(exactField(amperes, range, vddVolts))), range, counter, logic);
}

quint32 Ppk2Device::word(int field, int range, int counter, quint8 logic)
{
    return quint32(std::clamp(field, 0, 0x3fff)) | quint32(range) << 14 | quint32(counter & 63) << 18 | quint32(logic) << 24;
}

// The calibration formula solved for the ADC field:
// GS·x² + GI·x + (S·V + I − A/UG) = 0, x = (adc − O)·k/R.
double Ppk2Device::exactField(double amperes, int range, double vddVolts) const
{
    const size_t r = size_t(range);
    const double c = constants.s[r] * vddVolts + constants.i[r] - amperes / constants.ug[r];
    const double a = constants.gs[r];
    const double b = constants.gi[r];
    const double x = std::abs(a) < 1e-12 ? -c / b : (-b + std::sqrt(std::max(0.0, b * b - 4 * a * c))) / (2 * a);
    const double adc = x * constants.r[r] / Ppk2Calibration::voltsPerCount + constants.o[r];
    return adc / 4;
}
