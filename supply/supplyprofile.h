#ifndef SUPPLYPROFILE_H
#define SUPPLYPROFILE_H

#include <QString>
#include <QStringList>

#include <optional>

// The command strings a programmable supply or source-measure unit
// understands. The defaults are the generic SCPI set; a profile file replaces
// any of them, in the meter profiles' format. {volts} and {amps} are filled
// in for set_voltage and set_current_limit, {channel} in any command.
struct SupplyProfile
{
    QString identify = QStringLiteral("*IDN?");
    QString clear = QStringLiteral("*CLS");
    QString setCurrentLimit = QStringLiteral("CURR {amps}");
    QString setVoltage = QStringLiteral("VOLT {volts}");
    QString outputOn = QStringLiteral("OUTP ON");
    QString outputOff = QStringLiteral("OUTP OFF");
    QString measureVoltage = QStringLiteral("MEAS:VOLT?");
    QString measureCurrent = QStringLiteral("MEAS:CURR?");
    QString errorQuery = QStringLiteral("SYST:ERR?");
    QStringList onConnect;
    QStringList onClose;       // replaces the default closing, output off, once given
    bool closeGiven = false;
    int channel = 1;

    static std::optional<SupplyProfile> load(const QString &path, QString *error);

    // A command with its placeholders filled in.
    QString filled(const QString &command, double volts = 0, double amps = 0) const;
    // What it is sent at every end: the profile's on_close, else output off,
    // so that a board is not left powered.
    QStringList closing() const;
};

#endif // SUPPLYPROFILE_H
