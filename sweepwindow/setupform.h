#ifndef SETUPFORM_H
#define SETUPFORM_H

#include "settings/sweepsettings.h"

#include <QWidget>

#include <memory>

class Meter;
class QCheckBox;
class PowerFields;
class QComboBox;
class QDoubleSpinBox;
class QLineEdit;
class QPushButton;
class QSettings;
class ReasonLabel;

// The sweep's set-up besides the modes: the board's port, the meter and its
// test, the reset, the supply (a unit that powers the board, or the voltage
// it runs at) and the temperature, the battery, where results go, a note for
// the report, and what the history tells runs apart by (board, firmware,
// tags). Every field is checked as it changes, with the reason under it in a
// line kept for it.
class SetupForm : public QWidget
{
    Q_OBJECT

public:
    explicit SetupForm(QWidget *parent = nullptr);
    ~SetupForm() override;

    // Fills in what the form holds; false with the reason where a field is not valid.
    bool fill(SweepSettings &settings, QString *error) const;
    bool isValid() const;
    // What a mode table's empty cells stand for with this meter.
    ModePlan defaults() const;
    QString resultsFolder() const;

    void save(QSettings &settings) const;
    void restore(const QSettings &settings);

    // For scripts and tests that set the form up; the meter and the reset as
    // the command line gives them (tcp:HOST:PORT, command:CMD).
    void setPort(const QString &port);
    void setMeter(const QString &text);
    void setReset(const QString &text);
    void setResultsFolder(const QString &folder);
    void setBootSeconds(double seconds);
    void setBatteryMah(double capacity);
    void setNote(const QString &text);
    void setBoardId(const QString &id);
    void setFirmware(const QString &label);
    void setTags(const QStringList &pairs);   // KEY=VALUE each
    void setEvents(const QStringList &values);   // as --events takes each
    PowerFields *powerFields() const { return power; }

signals:
    void changed();

private:
    std::optional<QList<EventSource>> eventSources(QString *error) const;
    QString eventsProblem() const;
    void refreshPorts();
    void loadProfile();
    void testMeter();
    void check();
    QString meterText() const;   // as the command line's --meter takes it
    bool meterAddressed() const;
    std::optional<MeterAddress> meterAddress(QString *error) const;
    QString meterKind() const;
    QString resetKind() const;
    QString meterProblem() const;
    QString folderProblem() const;
    std::optional<QMap<QString, QString>> tagsGiven(QString *why) const;

    QComboBox *port;
    ReasonLabel *portReason;
    QComboBox *meterKinds;
    QLineEdit *meterAddressField;
    QLineEdit *profile;
    ReasonLabel *meterReason;
    QPushButton *testButton;
    QComboBox *resetKinds;
    QLineEdit *resetCommand;
    ReasonLabel *resetReason;
    QDoubleSpinBox *boot;
    QCheckBox *entryCheck;
    QLineEdit *events;
    ReasonLabel *eventsReason;
    PowerFields *power;
    QDoubleSpinBox *battery;
    QLineEdit *folder;
    ReasonLabel *folderReason;
    QLineEdit *note;
    QLineEdit *boardId;
    QLineEdit *firmware;
    QLineEdit *tags;
    ReasonLabel *tagsReason;
    QStringList listedPorts;                  // as of the last refresh
    std::optional<MeterProfile> profileLoaded;   // of the profile field's file, loaded when the field changes
    QString profileError;
    std::unique_ptr<Meter> testedMeter;
    QString failedTestOf;   // the address whose test failed
    bool valid = false;
};

#endif // SETUPFORM_H
