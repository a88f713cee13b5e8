#ifndef POWERFIELDS_H
#define POWERFIELDS_H

#include "settings/sweepsettings.h"

#include <QObject>

#include <memory>

class QComboBox;
class QDoubleSpinBox;
class QFormLayout;
class QLineEdit;
class QPushButton;
class QSettings;
class ReasonLabel;
class Supply;

// How the board is powered and at what temperature: a supply unit with its
// address, profile and test, the voltage (or, with a unit, the voltages in
// turn), its current limit, a power reset's off time, and the temperature
// recorded with the results. Its rows go into the set-up's form.
class PowerFields : public QObject
{
    Q_OBJECT

public:
    explicit PowerFields(QObject *parent = nullptr);
    ~PowerFields() override;

    void addRows(QFormLayout *form);

    bool hasUnit() const;
    // The unit's address as --supply-unit takes it; empty for none.
    QString unitText() const;
    // The off time counts only with a power reset.
    void setPowerReset(bool power);
    bool isValid() const { return valid; }
    bool fill(SweepSettings &settings, QString *error) const;

    void save(QSettings &settings) const;
    void restore(const QSettings &settings);

    void setSupplyUnit(const QString &address);   // as --supply-unit takes it; empty for none
    void setVoltages(const QString &text);        // as --supply takes it
    void setTemperature(const QString &text);

signals:
    void changed();

private:
    void loadProfile();
    void testUnit();
    void check();
    QString unitProblem() const;
    QString voltageProblem() const;

    QComboBox *unitKinds;
    QLineEdit *unitAddress;
    QPushButton *testButton;
    QLineEdit *profile;
    ReasonLabel *unitReason;
    QLineEdit *voltages;
    ReasonLabel *voltagesReason;
    QLineEdit *currentLimit;
    QDoubleSpinBox *offTime;
    QLineEdit *temperature;
    ReasonLabel *conditionsReason;
    std::optional<SupplyProfile> profileLoaded;
    QString profileError;
    std::unique_ptr<Supply> testedUnit;
    QString failedTestOf;
    bool valid = false;
};

#endif // POWERFIELDS_H
