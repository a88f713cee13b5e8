#include "sweepwindow/setupform.h"

#include "meter/meterlink.h"
#include "meter/scpimeter.h"
#include "ppk2/ppk2box.h"
#include "ppk2/ppk2ports.h"
#include "settings/settingrules.h"
#include "sweepwindow/formparts.h"
#include "sweepwindow/powerfields.h"
#include "sweepwindow/reasonlabel.h"

#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QCheckBox>
#include <QSettings>
#include <QSignalBlocker>
#include <QStandardPaths>
#include <QToolButton>

namespace {

using FormParts::Choice;
using FormParts::numberBox;
using FormParts::row;
using FormParts::withReason;

const Choice meterChoices[] = {
    {QT_TRANSLATE_NOOP("SetupForm", "LAN (SCPI socket)"), "tcp", "HOST[:PORT], such as 192.0.2.10"},
    {QT_TRANSLATE_NOOP("SetupForm", "Serial"), "serial", "PORT[@BAUD], such as ttyUSB0@9600"},
    {QT_TRANSLATE_NOOP("SetupForm", "USBTMC"), "usbtmc", "/dev/usbtmcN"},
    {QT_TRANSLATE_NOOP("SetupForm", "Power Profiler Kit II"), "ppk2", "auto, or its data port such as ttyACM0"},
    {QT_TRANSLATE_NOOP("SetupForm", "Typed by hand"), "manual", ""},
    {QT_TRANSLATE_NOOP("SetupForm", "The supply unit"), "supply", ""},
    {QT_TRANSLATE_NOOP("SetupForm", "None (board only)"), "none", ""},
};

const Choice resetChoices[] = {
    {QT_TRANSLATE_NOOP("SetupForm", "Button, asked for in the window"), "prompt", ""},
    {QT_TRANSLATE_NOOP("SetupForm", "Command"), "command", "a shell command that resets the board"},
    {QT_TRANSLATE_NOOP("SetupForm", "DTR line of the board's port"), "dtr", ""},
    {QT_TRANSLATE_NOOP("SetupForm", "RTS line of the board's port"), "rts", ""},
    {QT_TRANSLATE_NOOP("SetupForm", "Supply unit's output off and on"), "power", ""},
    {QT_TRANSLATE_NOOP("SetupForm", "None"), "none", ""},
};

} // namespace

SetupForm::SetupForm(QWidget *parent)
    : QWidget(parent)
    , port(new QComboBox)
    , portReason(new ReasonLabel)
    , meterKinds(new QComboBox)
    , meterAddressField(new QLineEdit)
    , profile(new QLineEdit)
    , meterReason(new ReasonLabel)
    , testButton(new QPushButton(tr("Test")))
    , resetKinds(new QComboBox)
    , resetCommand(new QLineEdit)
    , resetReason(new ReasonLabel)
    , boot(numberBox(3600, 1, tr(" s")))
    , entryCheck(new QCheckBox(tr("Check that the board took each mode")))
    , events(new QLineEdit)
    , eventsReason(new ReasonLabel)
    , power(new PowerFields(this))
    , battery(numberBox(1e6, 0, tr(" mAh"), tr("not given")))
    , folder(new QLineEdit)
    , folderReason(new ReasonLabel)
    , note(new QLineEdit)
    , boardId(new QLineEdit)
    , firmware(new QLineEdit)
    , tags(new QLineEdit)
    , tagsReason(new ReasonLabel)
{
    port->setEditable(true);
    port->setObjectName(QStringLiteral("port"));
    testButton->setObjectName(QStringLiteral("testMeter"));
    meterReason->setObjectName(QStringLiteral("meterReason"));
    folderReason->setObjectName(QStringLiteral("folderReason"));
    auto *refresh = new QToolButton;
    refresh->setText(tr("Refresh"));
    FormParts::addChoices(meterKinds, "SetupForm", meterChoices);
    meterKinds->setObjectName(QStringLiteral("meterKind"));
    // The choices' texts are long: shown whole where there is room, cut
    // where the set-up must fit a narrow screen.
    for (QComboBox *kinds : {meterKinds, resetKinds})
        kinds->setMinimumWidth(kinds->fontMetrics().averageCharWidth() * 16);
    meterAddressField->setObjectName(QStringLiteral("meterAddress"));
    auto *chooseProfile = new QToolButton;
    chooseProfile->setText(tr("…"));
    profile->setPlaceholderText(tr("generic SCPI"));
    FormParts::addChoices(resetKinds, "SetupForm", resetChoices);
    resetKinds->setObjectName(QStringLiteral("resetKind"));
    resetCommand->setObjectName(QStringLiteral("resetCommand"));
    boot->setValue(0.5);
    folder->setObjectName(QStringLiteral("resultsFolder"));
    folder->setText(QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)).filePath(QStringLiteral("Pellmora sweeps")));
    auto *chooseFolder = new QToolButton;
    chooseFolder->setText(tr("…"));

    note->setObjectName(QStringLiteral("note"));
    note->setPlaceholderText(tr("for the report, such as what was changed on the board"));
    boardId->setObjectName(QStringLiteral("boardId"));
    boardId->setPlaceholderText(tr("the USB serial number of the board's port"));
    firmware->setObjectName(QStringLiteral("firmware"));
    firmware->setPlaceholderText(tr("a version or git describe"));
    tags->setObjectName(QStringLiteral("tags"));
    tags->setPlaceholderText(tr("KEY=VALUE, such as bench=3, jumper=JP5"));
    resetCommand->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("ssh bench relay-reset 3")) + 24);

    auto *form = new QFormLayout(this);
    form->addRow(tr("Board's port"), withReason(row({port, refresh}), portReason));
    form->addRow(tr("Meter"), row({meterKinds, meterAddressField, testButton}, meterAddressField));
    form->addRow(tr("Meter profile"), withReason(row({profile, chooseProfile}), meterReason));
    form->addRow(tr("Reset"), withReason(row({resetKinds, resetCommand}, resetCommand), resetReason));
    form->addRow(tr("Boot time"), boot);
    entryCheck->setObjectName(QStringLiteral("entryCheck"));
    entryCheck->setChecked(true);
    entryCheck->setToolTip(tr("A mode whose mean stays within three standard deviations, or 2 %, of a reading taken just "
                              "before its command is ENTRY?: the board most likely did not take the command"));
    form->addRow(QString(), entryCheck);
    events->setObjectName(QStringLiteral("events"));
    events->setPlaceholderText(tr("none; D0,D1 or current:0.0001 (Power Profiler Kit II)"));
    events->setToolTip(tr("Events in each mode's readings: intervals with a digital input high (D0,D1), or with the current "
                          "above a threshold (current:AMPS, with min=20us and gap=100us to change how short an event and how "
                          "long a gap may be); several sources apart by \";\""));
    eventsReason->setObjectName(QStringLiteral("eventsReason"));
    form->addRow(tr("Events"), withReason(events, eventsReason));
    power->addRows(form);
    form->addRow(tr("Battery capacity"), battery);
    form->addRow(tr("Save results in"), withReason(row({folder, chooseFolder}), folderReason));
    form->addRow(tr("Note"), note);
    form->addRow(tr("Board ID"), boardId);
    form->addRow(tr("Firmware"), firmware);
    form->addRow(tr("Tags"), withReason(tags, tagsReason));

    connect(refresh, &QToolButton::clicked, this, &SetupForm::refreshPorts);
    connect(testButton, &QPushButton::clicked, this, &SetupForm::testMeter);
    connect(chooseProfile, &QToolButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, tr("Meter profile"), profile->text());
        if (!path.isEmpty())
            profile->setText(path);
    });
    connect(chooseFolder, &QToolButton::clicked, this, [this] {
        const QString path = QFileDialog::getExistingDirectory(this, tr("Save results in"), folder->text());
        if (!path.isEmpty())
            folder->setText(path);
    });
    connect(port, &QComboBox::editTextChanged, this, &SetupForm::check);
    for (QComboBox *box : {meterKinds, resetKinds})
        connect(box, qOverload<int>(&QComboBox::currentIndexChanged), this, &SetupForm::check);
    for (QLineEdit *field : {meterAddressField, resetCommand, events, folder, tags})
        connect(field, &QLineEdit::textChanged, this, &SetupForm::check);
    connect(profile, &QLineEdit::textChanged, this, &SetupForm::loadProfile);
    connect(power, &PowerFields::changed, this, &SetupForm::check);
    refreshPorts();
    loadProfile();
}

SetupForm::~SetupForm() = default;

// Listing the ports takes the platform tens of milliseconds, so it is done
// here and on Refresh, not as the user types.
void SetupForm::refreshPorts()
{
    const QString current = port->currentText();
    listedPorts.clear();
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        listedPorts << info.portName();
    const QSignalBlocker quiet(port);
    port->clear();
    port->addItems(listedPorts);
    port->setEditText(current.isEmpty() ? port->itemText(0) : current);
    check();
}

void SetupForm::loadProfile()
{
    const QString path = profile->text().trimmed();
    profileError.clear();
    profileLoaded = path.isEmpty() ? std::optional<MeterProfile>(MeterProfile()) : MeterProfile::load(path, &profileError);
    check();
}

QString SetupForm::meterKind() const
{
    return meterKinds->currentData().toString();
}

QString SetupForm::resetKind() const
{
    return resetKinds->currentData().toString();
}

ModePlan SetupForm::defaults() const
{
    ModePlan defaults;
    defaults.meter.samples = SweepSettings::defaultSamples(meterKind() == QLatin1String("manual")
                                                               ? std::optional<MeterAddress>(MeterAddress())
                                                               : std::nullopt);
    return defaults;
}

QString SetupForm::resultsFolder() const
{
    return folder->text().trimmed();
}

bool SetupForm::meterAddressed() const
{
    const QString kind = meterKind();
    return kind != QLatin1String("manual") && kind != QLatin1String("none") && kind != QLatin1String("supply");
}

QString SetupForm::meterText() const
{
    return meterAddressed() ? meterKind() + QLatin1Char(':') + meterAddressField->text().trimmed() : meterKind();
}

std::optional<MeterAddress> SetupForm::meterAddress(QString *error) const
{
    return MeterAddress::parse(meterText(), error);
}

// Why the meter's address or profile will not do, in words for this form:
// its kind is chosen apart from the address, so no scheme is mentioned.
QString SetupForm::meterProblem() const
{
    const QString address = meterAddressField->text().trimmed();
    if (address.isEmpty())
        return tr("Enter the meter's address.");
    if (!MeterAddress::parse(meterText(), nullptr))
        return tr("\"%1\" is no address here; use %2.").arg(address, QLatin1String(meterChoices[meterKinds->currentIndex()].hint));
    if (!profileLoaded)
        return profileError;
    if (failedTestOf == meterAddressField->text())
        return tr("The meter did not answer the test.");
    return QString();
}

// Why results cannot go where the field says: the folder, or the nearest
// folder above it that exists, must take new files.
QString SetupForm::folderProblem() const
{
    const QString path = resultsFolder();
    if (path.isEmpty())
        return tr("Choose where results go.");
    QFileInfo existing(QDir::cleanPath(QDir(path).absolutePath()));
    while (!existing.exists() && existing.absoluteFilePath() != existing.absolutePath())
        existing = QFileInfo(existing.absolutePath());
    if (!existing.isDir())
        return tr("%1 is a file, not a folder.").arg(QDir::toNativeSeparators(existing.absoluteFilePath()));
    if (!existing.isWritable())
        return tr("Cannot write in %1.").arg(QDir::toNativeSeparators(existing.absoluteFilePath()));
    return QString();
}

// Tags as the field lists them, a comma between two.
std::optional<QMap<QString, QString>> SetupForm::tagsGiven(QString *why) const
{
    QStringList pairs;
    for (const QString &pair : tags->text().split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (!pair.trimmed().isEmpty())
            pairs << pair.trimmed();
    }
    const auto parsed = SettingRules::parseTags(pairs, why);
    if (!parsed)
        *why = FormParts::sentence(*why);
    return parsed;
}

void SetupForm::check()
{
    const auto show = [](ReasonLabel *label, const QString &reason) {
        label->say(reason);
        return reason.isEmpty();
    };
    const bool addressed = meterAddressed();
    meterAddressField->setEnabled(addressed);
    meterAddressField->setPlaceholderText(QLatin1String(meterChoices[meterKinds->currentIndex()].hint));
    testButton->setEnabled(addressed);
    profile->setEnabled(addressed && meterKind() != QLatin1String("ppk2"));   // the box speaks no SCPI
    resetCommand->setEnabled(resetKind() == QLatin1String("command"));
    resetCommand->setPlaceholderText(QLatin1String(resetChoices[resetKinds->currentIndex()].hint));
    const bool powerReset = resetKind() == QLatin1String("power");
    power->setPowerReset(powerReset);

    const QString portName = port->currentText().trimmed();
    const bool portKnown = listedPorts.contains(portName) || QFileInfo::exists(portName);
    bool ok = show(portReason, portName.isEmpty() ? tr("Choose the board's port.")
                               : portKnown ? QString() : tr("Unknown port \"%1\".").arg(portName));
    const QString unitMissing = power->hasUnit() ? QString() : tr("Choose a supply unit below first.");
    ok = show(meterReason, addressed ? meterProblem() : meterKind() == QLatin1String("supply") ? unitMissing : QString()) && ok;
    ok = show(resetReason, resetKind() == QLatin1String("command") && resetCommand->text().trimmed().isEmpty()
                               ? tr("Give the command that resets the board.") : powerReset ? unitMissing : QString()) && ok;
    ok = power->isValid() && ok;
    ok = show(eventsReason, eventsProblem()) && ok;
    ok = show(folderReason, folderProblem()) && ok;
    QString tagsProblem;
    ok = show(tagsReason, tagsGiven(&tagsProblem) ? QString() : tagsProblem) && ok;
    valid = ok;
    emit changed();
}

// The sources typed, apart by ";", as --events takes each.
std::optional<QList<EventSource>> SetupForm::eventSources(QString *error) const
{
    QStringList values;
    for (const QString &value : events->text().split(QLatin1Char(';'))) {
        if (!value.trimmed().isEmpty())
            values << value.trimmed();
    }
    return EventSource::parseAll(values, error);
}

// Only a Power Profiler Kit II reading the current finds events.
QString SetupForm::eventsProblem() const
{
    QString error;
    const std::optional<QList<EventSource>> sources = eventSources(&error);
    if (!sources)
        return error.replace(QLatin1String("--events "), QString());
    const bool box = meterKind() == QLatin1String("ppk2")
        || (meterKind() == QLatin1String("supply") && power->unitText().startsWith(QLatin1String("ppk2:")));
    return sources->isEmpty() || box ? QString() : tr("Events need a Power Profiler Kit II as the meter.");
}

bool SetupForm::isValid() const
{
    return valid;
}

bool SetupForm::fill(SweepSettings &settings, QString *error) const
{
    const QString reset = resetKind() == QLatin1String("command") ? QStringLiteral("command:") + resetCommand->text().trimmed()
                                                                  : resetKind();
    const std::optional<ResetStrategy> resetStrategy = ResetStrategy::parse(reset, error);
    const bool addressed = meterKind() != QLatin1String("none") && meterKind() != QLatin1String("supply");
    std::optional<MeterAddress> address = addressed ? meterAddress(error) : std::nullopt;
    if (address && !Ppk2Ports::resolve(*address, error))
        return false;
    if (!valid || !resetStrategy || (addressed && !address) || !profileLoaded) {
        if (error->isEmpty())
            *error = profileLoaded ? tr("A field of the set-up is not valid.") : profileError;
        return false;
    }
    settings.port = port->currentText().trimmed();
    settings.meterText = address && address->kind == MeterAddress::Ppk2 ? QStringLiteral("ppk2:") + address->device : meterText();
    settings.meter = address;
    settings.meterIsSupply = meterKind() == QLatin1String("supply");
    settings.profilePath = profile->isEnabled() ? profile->text().trimmed() : QString();
    if (profile->isEnabled())
        settings.profile = *profileLoaded;
    settings.defaults = defaults();
    settings.defaults.meter.events = eventSources(error).value_or(QList<EventSource>());
    settings.reset = *resetStrategy;
    settings.bootSeconds = boot->value();
    settings.entryCheck = entryCheck->isChecked();
    settings.batteryMah = battery->value() > 0 ? std::optional<double>(battery->value()) : std::nullopt;
    settings.note = note->text().trimmed();
    settings.boardId = boardId->text().trimmed();
    settings.firmware = firmware->text().trimmed();
    settings.tags = tagsGiven(error).value_or(QMap<QString, QString>());
    return power->fill(settings, error);
}

void SetupForm::testMeter()
{
    QString error;
    const auto address = meterAddress(&error);
    if (!address || !profileLoaded)
        return;
    testButton->setEnabled(false);
    meterReason->say(tr("Asking the meter…"), false);
    const QString tested = meterAddressField->text();
    const auto said = [this, tested](const QString &text, bool answered) {
        failedTestOf = answered ? QString() : tested;
        check();
        meterReason->say(text, !answered);
        testButton->setEnabled(true);
    };
    if (address->kind == MeterAddress::Ppk2) {
        MeterAddress box = *address;
        if (!Ppk2Ports::resolve(box, &error)) {
            said(tr("The meter did not answer the test: %1").arg(error), false);
            return;
        }
        Ppk2Box::identify(box.device, this, [said](bool answered, const QString &text) {
            said(answered ? tr("The meter answers: %1").arg(text) : tr("The meter did not answer the test: %1").arg(text), answered);
        });
        return;
    }
    testedMeter = std::make_unique<ScpiMeter>(MeterLink::create(*address), *profileLoaded);
    const auto finish = [this, said](const QString &text, bool answered) {
        said(text, answered);
        testedMeter->finish();
    };
    connect(testedMeter.get(), &Meter::ready, this, [finish](const QString &identity) {
        finish(tr("The meter answers: %1").arg(identity), true);
    });
    connect(testedMeter.get(), &Meter::failed, this, [finish](const QString &reason) {
        finish(tr("The meter did not answer the test: %1").arg(reason), false);
    });
    testedMeter->start();
}

void SetupForm::save(QSettings &settings) const
{
    settings.setValue(QStringLiteral("port"), port->currentText());
    settings.setValue(QStringLiteral("meter"), meterText());
    settings.setValue(QStringLiteral("meterProfile"), profile->text());
    settings.setValue(QStringLiteral("reset"), resetKind() == QLatin1String("command")
                                                   ? QStringLiteral("command:") + resetCommand->text() : resetKind());
    settings.setValue(QStringLiteral("boot"), boot->value());
    settings.setValue(QStringLiteral("entryCheck"), entryCheck->isChecked());
    settings.setValue(QStringLiteral("events"), events->text());
    power->save(settings);
    settings.setValue(QStringLiteral("battery"), battery->value());
    settings.setValue(QStringLiteral("resultsFolder"), folder->text());
    settings.setValue(QStringLiteral("note"), note->text());
    settings.setValue(QStringLiteral("boardId"), boardId->text());
    settings.setValue(QStringLiteral("firmware"), firmware->text());
    settings.setValue(QStringLiteral("tags"), tags->text());
}

void SetupForm::restore(const QSettings &settings)
{
    if (!settings.contains(QStringLiteral("meter")))
        return;
    setPort(settings.value(QStringLiteral("port")).toString());
    setMeter(settings.value(QStringLiteral("meter")).toString());
    profile->setText(settings.value(QStringLiteral("meterProfile")).toString());
    // A reset that signals a process by its id (a simulator's) would signal
    // whichever process holds that id by the next start: never brought back.
    const QString reset = settings.value(QStringLiteral("reset")).toString();
    QString ignored;
    const std::optional<ResetStrategy> strategy = ResetStrategy::parse(reset, &ignored);
    setReset(strategy && strategy->namesAProcessId() ? QStringLiteral("prompt") : reset);
    boot->setValue(settings.value(QStringLiteral("boot")).toDouble());
    entryCheck->setChecked(settings.value(QStringLiteral("entryCheck"), true).toBool());
    events->setText(settings.value(QStringLiteral("events")).toString());
    power->restore(settings);
    battery->setValue(settings.value(QStringLiteral("battery")).toDouble());
    setResultsFolder(settings.value(QStringLiteral("resultsFolder")).toString());
    note->setText(settings.value(QStringLiteral("note")).toString());
    boardId->setText(settings.value(QStringLiteral("boardId")).toString());
    firmware->setText(settings.value(QStringLiteral("firmware")).toString());
    tags->setText(settings.value(QStringLiteral("tags")).toString());
}

void SetupForm::setPort(const QString &name)
{
    port->setEditText(name);
}

void SetupForm::setMeter(const QString &text)
{
    const int colon = text.indexOf(QLatin1Char(':'));
    meterKinds->setCurrentIndex(std::max(0, meterKinds->findData(colon < 0 ? text : text.left(colon))));
    meterAddressField->setText(colon < 0 ? QString() : text.mid(colon + 1));
}

void SetupForm::setReset(const QString &text)
{
    const int colon = text.indexOf(QLatin1Char(':'));
    resetKinds->setCurrentIndex(std::max(0, resetKinds->findData(colon < 0 ? text : text.left(colon))));
    resetCommand->setText(colon < 0 ? QString() : text.mid(colon + 1));
}

void SetupForm::setResultsFolder(const QString &path)
{
    folder->setText(path);
}

void SetupForm::setBootSeconds(double seconds)
{
    boot->setValue(seconds);
}

void SetupForm::setBatteryMah(double capacity)
{
    battery->setValue(capacity);
}

void SetupForm::setNote(const QString &text)
{
    note->setText(text);
}

void SetupForm::setBoardId(const QString &id)
{
    boardId->setText(id);
}

void SetupForm::setFirmware(const QString &label)
{
    firmware->setText(label);
}

void SetupForm::setEvents(const QStringList &values)
{
    events->setText(values.join(QLatin1String("; ")));
}

void SetupForm::setTags(const QStringList &pairs)
{
    tags->setText(pairs.join(QLatin1String(", ")));
}
