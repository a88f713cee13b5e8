#ifndef SCPIMETER_H
#define SCPIMETER_H

#include "meter/meter.h"
#include "meter/meterlink.h"
#include "meter/meterprofile.h"
#include "meter/scpisession.h"

#include <memory>

// A meter that speaks SCPI over a link: its profile's commands, sent and
// answered through an SCPI session that no stray or late line can fool.
class ScpiMeter : public Meter
{
    Q_OBJECT

public:
    ScpiMeter(std::unique_ptr<MeterLink> link, const MeterProfile &profile, QObject *parent = nullptr);

    void start() override;
    void configure(const MeterSettings &settings) override;
    void measure() override;
    bool readsBefore() const override { return true; }
    void readBefore() override;
    void finish() override;
    void abort() override;

    // How long a read may take, where the profile does not say: twice what
    // the meter needs for the readings asked for (a power-line cycle of 20 ms
    // at 50 Hz, doubled by autozero), plus a second.
    static int deadlineFor(double nplc, int samples);
    static constexpr int connectDeadline = ScpiSession::connectDeadline;

private:
    // The readings of one reply, `expected` of them; else why not (an
    // empty string while the meter's error queue is read).
    QString readingsIn(const QByteArray &reply, int expected, QList<Reading> *readings);
    int readDeadline(int readings) const;

    ScpiSession session;
    MeterProfile profile;
    MeterSettings settings;
};

#endif // SCPIMETER_H
