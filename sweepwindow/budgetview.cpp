#include "sweepwindow/budgetview.h"

#include "budget/budgetsources.h"
#include "report/budgetchart.h"
#include "report/budgetreport.h"
#include "sweepwindow/chartview.h"
#include "sweepwindow/reasonlabel.h"

#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>
#include <QSplitter>
#include <QTableWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const char profileName[] = "the profile";

} // namespace

BudgetView::BudgetView(QWidget *parent)
    : QWidget(parent)
    , source(new QLineEdit)
    , period(new QLineEdit(QStringLiteral("10")))
    , battery(new QDoubleSpinBox)
    , derate(new QDoubleSpinBox)
    , lines(new QTableWidget(0, 2))
    , reason(new ReasonLabel)
    , summary(new QLabel)
    , chart(new ChartView)
{
    source->setObjectName(QStringLiteral("budgetFolder"));
    source->setPlaceholderText(tr("a results folder: the run shown, or one chosen"));
    period->setObjectName(QStringLiteral("budgetPeriod"));
    battery->setObjectName(QStringLiteral("budgetBattery"));
    battery->setRange(0, 1e6);
    battery->setSuffix(tr(" mAh"));
    battery->setSpecialValueText(tr("not given"));
    derate->setObjectName(QStringLiteral("budgetDerate"));
    derate->setRange(0.01, 1);
    derate->setSingleStep(0.05);
    derate->setValue(0.8);
    lines->setObjectName(QStringLiteral("budgetLines"));
    lines->setHorizontalHeaderLabels({tr("Mode, or event MODE SOURCE"), tr("Time per period, duty, rest or rate")});
    lines->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    lines->verticalHeader()->hide();
    reason->setObjectName(QStringLiteral("budgetReason"));
    summary->setObjectName(QStringLiteral("budgetSummary"));
    summary->setWordWrap(true);
    summary->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *chooseSource = new QToolButton;
    chooseSource->setText(tr("…"));
    auto *sourceRow = new QHBoxLayout;
    sourceRow->addWidget(source, 1);
    sourceRow->addWidget(chooseSource);
    auto *form = new QFormLayout;
    form->addRow(tr("Currents from"), sourceRow);
    form->addRow(tr("Period, s"), period);
    form->addRow(tr("Battery"), battery);
    form->addRow(tr("Usable share"), derate);
    auto *add = new QPushButton(tr("&Add line"));
    auto *remove = new QPushButton(tr("Remo&ve line"));
    auto *load = new QPushButton(tr("&Load profile…"));
    auto *save = new QPushButton(tr("Sa&ve profile…"));
    load->setObjectName(QStringLiteral("loadBudget"));
    save->setObjectName(QStringLiteral("saveBudget"));
    // Two by two, so that the tab fits a bench laptop beside the others.
    auto *buttons = new QGridLayout;
    buttons->addWidget(add, 0, 0);
    buttons->addWidget(remove, 0, 1);
    buttons->addWidget(load, 1, 0);
    buttons->addWidget(save, 1, 1);
    buttons->setColumnStretch(2, 1);
    auto *left = new QWidget;
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addLayout(form);
    leftLayout->addWidget(lines, 1);
    leftLayout->addLayout(buttons);
    leftLayout->addWidget(reason);
    auto *right = new QWidget;
    auto *rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(summary);
    rightLayout->addWidget(chart, 1);
    // The table above its chart: side by side they would not fit a bench laptop beside the set-up.
    auto *split = new QSplitter(Qt::Vertical);
    split->addWidget(left);
    split->addWidget(right);
    split->setStretchFactor(1, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(split);

    // A sensor node's period to start from.
    addRow(QStringLiteral("5"), QStringLiteral("rest"));
    addRow(QStringLiteral("13"), QStringLiteral("0.005 s"));
    addRow(QStringLiteral("15"), QStringLiteral("1 s / 60 s"));

    connect(chooseSource, &QToolButton::clicked, this, &BudgetView::chooseFolder);
    for (QLineEdit *field : {source, period})
        connect(field, &QLineEdit::textChanged, this, &BudgetView::recompute);
    for (QDoubleSpinBox *box : {battery, derate})
        connect(box, qOverload<double>(&QDoubleSpinBox::valueChanged), this, &BudgetView::recompute);
    connect(lines, &QTableWidget::cellChanged, this, &BudgetView::recompute);
    connect(add, &QPushButton::clicked, this, [this] { addRow(); });
    connect(remove, &QPushButton::clicked, this, [this] {
        if (lines->currentRow() >= 0)
            lines->removeRow(lines->currentRow());
        recompute();
    });
    connect(load, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getOpenFileName(this, tr("Load profile"), QString(), tr("Profiles (*.ini *.txt);;All files (*)"));
        QString error;
        if (!path.isEmpty() && !loadProfile(path, &error))
            QMessageBox::warning(this, tr("Load profile"), error);
    });
    connect(save, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(this, tr("Save profile"), QString(), tr("Profiles (*.ini)"));
        QString error;
        if (!path.isEmpty() && !saveProfile(path, &error))
            QMessageBox::warning(this, tr("Save profile"), error);
    });
    recompute();
}

// Costed again even where the folder is the same: a run adds modes to it.
void BudgetView::setFolder(const QString &folder)
{
    {
        const QSignalBlocker quiet(source);
        source->setText(QDir::toNativeSeparators(folder));
    }
    recompute();
}

QString BudgetView::folder() const
{
    return QDir::fromNativeSeparators(source->text().trimmed());
}

void BudgetView::chooseFolder()
{
    const QString chosen = QFileDialog::getExistingDirectory(this, tr("Currents from"), folder());
    if (!chosen.isEmpty())
        setFolder(chosen);
}

void BudgetView::addRow(const QString &line, const QString &value)
{
    const QSignalBlocker quiet(lines);
    const int row = lines->rowCount();
    lines->insertRow(row);
    lines->setItem(row, 0, new QTableWidgetItem(line));
    lines->setItem(row, 1, new QTableWidgetItem(value));
}

// Line 1 the period, then a line per row of the table, in its order.
QString BudgetView::profileText() const
{
    QString text = QStringLiteral("period_s = %1\n").arg(period->text().trimmed());
    for (int row = 0; row < lines->rowCount(); ++row) {
        const QString key = lines->item(row, 0) ? lines->item(row, 0)->text().trimmed() : QString();
        const QString value = lines->item(row, 1) ? lines->item(row, 1)->text().trimmed() : QString();
        text += key.isEmpty() && value.isEmpty() ? QStringLiteral("\n") : QStringLiteral("%1 = %2\n").arg(key, value);
    }
    return text;
}

bool BudgetView::loadProfile(const QString &path, QString *error)
{
    const std::optional<BudgetProfile> profile = BudgetProfile::load(path, error);
    if (!profile)
        return false;
    QFile file(path);
    file.open(QIODevice::ReadOnly | QIODevice::Text);
    const QStringList text = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    {
        const QSignalBlocker quietPeriod(period);
        period->setText(Numbers::format(profile->periodSeconds));
        lines->setRowCount(0);
        for (const BudgetProfile::Line &line : profile->lines) {
            const QString written = text.value(line.number - 1).section(QLatin1Char('#'), 0, 0);
            addRow(written.section(QLatin1Char('='), 0, 0).trimmed(), written.section(QLatin1Char('='), 1).trimmed());
        }
    }
    recompute();
    return true;
}

bool BudgetView::saveProfile(const QString &path, QString *error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text) || file.write(profileText().toUtf8()) < 0 || !file.commit()) {
        *error = tr("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

// As the command would cost it; what stops it is said against the table's row.
void BudgetView::recompute()
{
    costed.reset();
    chart->clear();
    summary->clear();
    QString error;
    const std::optional<BudgetProfile> profile = BudgetProfile::parse(profileText(), QLatin1String(profileName), &error);
    std::optional<QMap<int, BudgetSource>> sources;
    if (profile) {
        sources = folder().isEmpty() ? std::nullopt : BudgetSources::fromFolder(folder(), std::nullopt, &error);
        if (folder().isEmpty())
            error = tr("Choose the results folder the currents come from.");
    }
    if (sources)
        costed = Budget::compute(*profile, *sources, std::nullopt, QLatin1String(profileName), &error);
    if (!costed) {
        // "the profile:3: why": line 1 is the period, line 2 the table's first row.
        const QString prefix = QLatin1String(profileName) + QLatin1Char(':');
        if (error.startsWith(prefix)) {
            const int line = error.mid(prefix.size()).section(QLatin1Char(':'), 0, 0).toInt();
            const QString why = error.mid(prefix.size()).section(QLatin1Char(':'), 1).trimmed();
            error = line <= 1 ? tr("Period: %1").arg(why) : tr("Row %1: %2").arg(line - 1).arg(why);
        }
        reason->say(error);
        return;
    }
    reason->say(QString());
    QString text = tr("Average current %1").arg(Readings::formatAmperes(costed->averageA()));
    if (costed->averageW())
        text += tr(", power %1").arg(Readings::formatSi(*costed->averageW(), QStringLiteral("W")));
    if (battery->value() > 0)
        text += tr("; battery life %1").arg(BudgetReport::life(*costed, BudgetBattery {battery->value(), derate->value(), 10}));
    summary->setText(text + QStringLiteral(". ") + costed->dominance() + QLatin1Char('.'));
    chart->setChart(std::make_shared<BudgetChart>(*costed));
}
