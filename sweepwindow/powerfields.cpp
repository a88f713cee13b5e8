#include "sweepwindow/powerfields.h"

#include "meter/meterlink.h"
#include "settings/settingrules.h"
#include "ppk2/ppk2box.h"
#include "ppk2/ppk2ports.h"
#include "supply/scpisupply.h"
#include "sweepwindow/formparts.h"
#include "sweepwindow/reasonlabel.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QToolButton>

#include <algorithm>

namespace {

using FormParts::Choice;
using FormParts::row;
using FormParts::sentence;
using FormParts::withReason;

const Choice unitChoices[] = {
    {QT_TRANSLATE_NOOP("PowerFields", "None (the board's own supply)"), "", ""},
    {QT_TRANSLATE_NOOP("PowerFields", "LAN (SCPI socket)"), "tcp", "HOST[:PORT], such as 192.0.2.11"},
    {QT_TRANSLATE_NOOP("PowerFields", "Serial"), "serial", "PORT[@BAUD], such as ttyUSB1@9600"},
    {QT_TRANSLATE_NOOP("PowerFields", "USBTMC"), "usbtmc", "/dev/usbtmcN"},
    {QT_TRANSLATE_NOOP("PowerFields", "Power Profiler Kit II"), "ppk2", "auto, or its data port such as ttyACM0"},
};

} // namespace

PowerFields::PowerFields(QObject *parent)
    : QObject(parent)
    , unitKinds(new QComboBox)
    , unitAddress(new QLineEdit)
    , testButton(new QPushButton(tr("Test")))
    , profile(new QLineEdit)
    , unitReason(new ReasonLabel)
    , voltages(new QLineEdit)
    , voltagesReason(new ReasonLabel)
    , currentLimit(new QLineEdit)
    , offTime(FormParts::numberBox(3600, 1, tr(" s")))
    , temperature(new QLineEdit)
    , conditionsReason(new ReasonLabel)
{
    FormParts::addChoices(unitKinds, "PowerFields", unitChoices);
    unitKinds->setObjectName(QStringLiteral("supplyUnitKind"));
    unitKinds->setMinimumWidth(unitKinds->fontMetrics().averageCharWidth() * 16);
    unitAddress->setObjectName(QStringLiteral("supplyUnitAddress"));
    testButton->setObjectName(QStringLiteral("testSupplyUnit"));
    unitReason->setObjectName(QStringLiteral("supplyUnitReason"));
    profile->setPlaceholderText(tr("generic SCPI"));
    voltages->setObjectName(QStringLiteral("supply"));
    voltagesReason->setObjectName(QStringLiteral("supplyReason"));
    currentLimit->setObjectName(QStringLiteral("currentLimit"));
    currentLimit->setPlaceholderText(tr("100 mA"));
    offTime->setValue(0.5);
    temperature->setObjectName(QStringLiteral("temperature"));
    temperature->setPlaceholderText(tr("not given; °C as recorded, such as 25 or -40"));

    connect(testButton, &QPushButton::clicked, this, &PowerFields::testUnit);
    connect(unitKinds, qOverload<int>(&QComboBox::currentIndexChanged), this, &PowerFields::check);
    for (QLineEdit *field : {unitAddress, voltages, currentLimit, temperature})
        connect(field, &QLineEdit::textChanged, this, &PowerFields::check);
    connect(profile, &QLineEdit::textChanged, this, &PowerFields::loadProfile);
    loadProfile();
}

PowerFields::~PowerFields() = default;

void PowerFields::addRows(QFormLayout *form)
{
    auto *chooseProfile = new QToolButton;
    chooseProfile->setText(tr("…"));
    connect(chooseProfile, &QToolButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(profile->window(), tr("Supply profile"), profile->text());
        if (!path.isEmpty())
            profile->setText(path);
    });
    form->addRow(tr("Supply unit"), row({unitKinds, unitAddress, testButton}, unitAddress));
    form->addRow(tr("Supply profile"), withReason(row({profile, chooseProfile}, profile), unitReason));
    // The unit's limit and off time beside the voltages they go with.
    auto *limitLabel = new QLabel(tr("Current limit"));
    limitLabel->setBuddy(currentLimit);
    auto *offLabel = new QLabel(tr("Off time"));
    offLabel->setBuddy(offTime);
    currentLimit->setMaximumWidth(currentLimit->fontMetrics().horizontalAdvance(QStringLiteral("250 mA__")) + 16);
    form->addRow(tr("Supply voltage"), withReason(row({voltages, limitLabel, currentLimit, offLabel, offTime}, voltages), voltagesReason));
    form->addRow(tr("Temperature"), withReason(temperature, conditionsReason));
}

bool PowerFields::hasUnit() const
{
    return !unitKinds->currentData().toString().isEmpty();
}

void PowerFields::setPowerReset(bool power)
{
    offTime->setEnabled(power && hasUnit());
}

QString PowerFields::unitText() const
{
    return hasUnit() ? unitKinds->currentData().toString() + QLatin1Char(':') + unitAddress->text().trimmed() : QString();
}

void PowerFields::loadProfile()
{
    const QString path = profile->text().trimmed();
    profileError.clear();
    profileLoaded = path.isEmpty() ? std::optional<SupplyProfile>(SupplyProfile()) : SupplyProfile::load(path, &profileError);
    check();
}

QString PowerFields::unitProblem() const
{
    if (!hasUnit())
        return QString();
    const QString address = unitAddress->text().trimmed();
    if (address.isEmpty())
        return tr("Enter the supply unit's address.");
    if (!MeterAddress::parse(unitText(), nullptr))
        return tr("\"%1\" is no address here; use %2.").arg(address, QLatin1String(unitChoices[unitKinds->currentIndex()].hint));
    if (!profileLoaded)
        return profileError;
    if (failedTestOf == unitText())
        return tr("The supply unit did not answer the test.");
    return QString();
}

QString PowerFields::voltageProblem() const
{
    QString why;
    const QString text = voltages->text().trimmed();
    if (hasUnit()) {
        if (text.isEmpty())
            return tr("Give the voltage to set, or several in turn, such as 1.8, 3.3.");
        const auto voltages = SettingRules::parseVoltages(text, tr("Supply voltage"), &why);
        if (!voltages)
            return sentence(why);
        const bool box = unitKinds->currentData().toString() == QLatin1String("ppk2");
        const auto outside = [](double volts) { return volts < Ppk2::lowestMillivolts / 1000.0 || volts > Ppk2::highestMillivolts / 1000.0; };
        if (box && std::any_of(voltages->cbegin(), voltages->cend(), outside))
            return tr("The Power Profiler Kit II sets 0.8 to 5 V.");
        return QString();
    }
    if (text.isEmpty())
        return QString();
    if (text.contains(QLatin1Char(',')))
        return tr("Several voltages need a supply unit to set them.");
    return SettingRules::supplyVolts.parse(text, tr("Supply voltage"), &why) ? QString() : sentence(why);
}

void PowerFields::check()
{
    const bool unit = hasUnit();
    unitAddress->setEnabled(unit);
    unitAddress->setPlaceholderText(QLatin1String(unitChoices[unitKinds->currentIndex()].hint));
    // The Power Profiler Kit II speaks no SCPI and limits no current.
    const bool box = unitKinds->currentData().toString() == QLatin1String("ppk2");
    testButton->setEnabled(unit);
    profile->setEnabled(unit && !box);
    currentLimit->setEnabled(unit && !box);
    voltages->setPlaceholderText(unit ? tr("such as 3.3, or 1.8, 3.3 each in turn") : tr("not given; for the power column"));

    QString why;
    const QString limitText = currentLimit->text().trimmed();
    const std::optional<double> limit = limitText.isEmpty() ? std::optional<double>(0.1) : Readings::parseTyped(limitText, &why);
    QString voltageSays = voltageProblem();
    const bool limited = unit && currentLimit->isEnabled();
    if (voltageSays.isEmpty() && limited && !limit)
        voltageSays = tr("Current limit: %1").arg(why);
    else if (voltageSays.isEmpty() && limited && !SettingRules::currentLimit.allows(*limit))
        voltageSays = tr("The current limit must be %1.").arg(QString::fromUtf8(SettingRules::currentLimit.expectation));
    const QString conditions = temperature->text().trimmed().isEmpty()
            || SettingRules::temperature.parse(temperature->text(), tr("Temperature"), &why)
        ? QString() : sentence(why);
    const QString unitSays = unitProblem();
    unitReason->say(unitSays);
    voltagesReason->say(voltageSays);
    conditionsReason->say(conditions);
    valid = unitSays.isEmpty() && voltageSays.isEmpty() && conditions.isEmpty();
    emit changed();
}

bool PowerFields::fill(SweepSettings &settings, QString *error) const
{
    if (!valid || !profileLoaded) {
        *error = tr("A field of the supply or the temperature is not valid.");
        return false;
    }
    const QString text = voltages->text().trimmed();
    QString ignored;
    settings.supplyUnitText = unitText();
    settings.supplyUnit = hasUnit() ? MeterAddress::parse(unitText(), &ignored) : std::nullopt;
    if (settings.supplyUnit && !Ppk2Ports::resolve(*settings.supplyUnit, error))
        return false;
    settings.supplyProfilePath = hasUnit() ? profile->text().trimmed() : QString();
    settings.supplyProfile = hasUnit() ? *profileLoaded : SupplyProfile();
    settings.unitVoltages = hasUnit() ? SettingRules::parseVoltages(text, QString(), &ignored).value_or(QList<double>()) : QList<double>();
    settings.supplyVolts = hasUnit() || text.isEmpty() ? std::nullopt : Numbers::parse(text);
    if (currentLimit->isEnabled() && !currentLimit->text().trimmed().isEmpty())
        settings.currentLimit = *Readings::parseTyped(currentLimit->text().trimmed());
    settings.offSeconds = offTime->value();
    const QString celsius = temperature->text().trimmed();
    settings.temperature = celsius.isEmpty() ? std::nullopt : Numbers::parse(celsius);
    return true;
}

void PowerFields::testUnit()
{
    QString error;
    std::optional<MeterAddress> address = MeterAddress::parse(unitText(), &error);
    if (!address || !profileLoaded)
        return;
    testButton->setEnabled(false);
    unitReason->say(tr("Asking the supply unit…"), false);
    if (address->kind == MeterAddress::Ppk2) {
        const QString tested = unitText();
        const auto said = [this, tested](bool answered, const QString &text) {
            failedTestOf = answered ? QString() : tested;
            check();
            unitReason->say(answered ? tr("The supply unit answers: %1").arg(text)
                                     : tr("The supply unit did not answer the test: %1").arg(text), !answered);
            testButton->setEnabled(true);
        };
        if (!Ppk2Ports::resolve(*address, &error)) {
            said(false, error);
            return;
        }
        Ppk2Box::identify(address->device, this, said);
        return;
    }
    testedUnit = std::make_unique<ScpiSupply>(MeterLink::create(*address), *profileLoaded);
    const QString tested = unitText();
    const auto finish = [this, tested](const QString &text, bool answered) {
        failedTestOf = answered ? QString() : tested;
        check();
        unitReason->say(text, !answered);
        testButton->setEnabled(true);
        // No closing commands: a test must not switch off a board the unit powers.
        testedUnit->abort();
        testedUnit.release()->deleteLater();
    };
    connect(testedUnit.get(), &Supply::ready, this, [finish](const QString &identity) {
        finish(tr("The supply unit answers: %1").arg(identity), true);
    });
    connect(testedUnit.get(), &Supply::failed, this, [finish](const QString &reason) {
        finish(tr("The supply unit did not answer the test: %1").arg(reason), false);
    });
    testedUnit->start();
}

void PowerFields::save(QSettings &settings) const
{
    settings.setValue(QStringLiteral("supplyUnit"), unitText());
    settings.setValue(QStringLiteral("supplyProfile"), profile->text());
    settings.setValue(QStringLiteral("supplyVoltages"), voltages->text());
    settings.setValue(QStringLiteral("currentLimit"), currentLimit->text());
    settings.setValue(QStringLiteral("offTime"), offTime->value());
    settings.setValue(QStringLiteral("temperature"), temperature->text());
}

void PowerFields::restore(const QSettings &settings)
{
    setSupplyUnit(settings.value(QStringLiteral("supplyUnit")).toString());
    profile->setText(settings.value(QStringLiteral("supplyProfile")).toString());
    // Before the supply unit, the window kept one voltage as a number; 0 was none.
    const QString saved = settings.value(QStringLiteral("supplyVoltages"), settings.value(QStringLiteral("supply"))).toString();
    setVoltages(saved == QLatin1String("0") ? QString() : saved);
    currentLimit->setText(settings.value(QStringLiteral("currentLimit")).toString());
    offTime->setValue(settings.value(QStringLiteral("offTime"), 0.5).toDouble());
    setTemperature(settings.value(QStringLiteral("temperature")).toString());
}

void PowerFields::setSupplyUnit(const QString &address)
{
    const int colon = address.indexOf(QLatin1Char(':'));
    unitKinds->setCurrentIndex(std::max(0, unitKinds->findData(colon < 0 ? QString() : address.left(colon))));
    unitAddress->setText(colon < 0 ? QString() : address.mid(colon + 1));
}

void PowerFields::setVoltages(const QString &text)
{
    voltages->setText(text);
}

void PowerFields::setTemperature(const QString &text)
{
    temperature->setText(text);
}
