#include "sweepwindow/sweepwindow.h"

#include "board/powermodes.h"
#include "history/history.h"
#include "report/comparison.h"
#include "report/reportwriter.h"
#include "sweepwindow/budgetview.h"
#include "sweepwindow/historyview.h"
#include "sweepwindow/modetable.h"
#include "sweepwindow/reasonlabel.h"
#include "sweepwindow/resultsview.h"
#include "sweepwindow/runprompts.h"
#include "sweepwindow/setupform.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QSettings>
#include <QSplitter>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QString timeLeft(double seconds)
{
    const int minutes = int(seconds / 60 + 0.5);
    return minutes >= 1 ? QObject::tr("about %1 min left").arg(minutes) : QObject::tr("about %1 s left").arg(int(seconds + 0.5));
}

} // namespace

SweepWindow::SweepWindow(const QString &settingsFile, QWidget *parent)
    : QMainWindow(parent)
    , settingsPath(settingsFile)
    , setup(new SetupForm)
    , modes(new ModeTable)
    , tableReason(new ReasonLabel)
    , startButton(new QPushButton(tr("&Start")))
    , stopButton(new QPushButton(tr("S&top")))
    , resumeButton(new QPushButton(tr("&Resume")))
    , progress(new QProgressBar)
    , status(new QLabel)
    , banner(new ResetBanner)
    , entry(new ReadingEntry)
    , results(new ResultsView)
    , history(new HistoryView)
    , budget(new BudgetView)
    , report(new ReportWriter(this))
{
    setWindowTitle(QStringLiteral("Pellmora Sweep"));
    panes = new QSplitter(Qt::Horizontal);
    // The set-up scrolls where the screen is short or narrow, so that the
    // window fits a bench laptop's 1280 × 720 with everything in reach.
    setupPanel = new QScrollArea;
    setupPanel->setWidget(buildSetup());
    setupPanel->setWidgetResizable(true);
    setupPanel->setFrameShape(QFrame::NoFrame);
    panes->addWidget(setupPanel);
    tabs = new QTabWidget;
    tabs->addTab(buildRun(), tr("S&weep"));
    tabs->addTab(history, tr("&History"));
    tabs->addTab(budget, tr("&Budget"));
    panes->addWidget(tabs);
    panes->setStretchFactor(1, 1);
    panes->setChildrenCollapsible(false);
    connect(panes, &QSplitter::splitterMoved, this, [this] { panesPlaced = true; });
    setCentralWidget(panes);

    connect(setup, &SetupForm::changed, this, [this] {
        // Typed readings are one per mode unless the table says otherwise, as on the command line.
        modes->setDefaults(setup->defaults());
        checkStart();
    });
    connect(modes, &ModeTable::edited, this, &SweepWindow::checkStart);
    connect(startButton, &QPushButton::clicked, this, &SweepWindow::start);
    connect(stopButton, &QPushButton::clicked, this, &SweepWindow::stop);
    connect(resumeButton, &QPushButton::clicked, this, &SweepWindow::resume);
    connect(banner, &ResetBanner::boardReset, this, [this] {
        if (sweep)
            sweep->resetDone();
    });
    connect(entry, &ReadingEntry::readingEntered, this, [this](const QString &typed) {
        const QString refused = sweep ? sweep->enterReading(typed) : QString();
        if (!refused.isEmpty()) {
            entry->show();
            entry->refuse(refused);
        }
    });
    connect(tabs, &QTabWidget::currentChanged, this, [this](int tab) {
        if (tabs->widget(tab) == history)
            history->refresh();
    });
    connect(history, &HistoryView::showRequested, this, [this](const QString &chosen) {
        QString error;
        if (!showResults(chosen, &error))
            QMessageBox::warning(this, tr("Show results"), error);
        else
            tabs->setCurrentIndex(0);
    });
    connect(history, &HistoryView::compareRequested, this, [this](const QString &before, const QString &after) {
        // The later run becomes the one shown, as after Open results.
        QString error;
        if (!showResults(after, &error)) {
            QMessageBox::warning(this, tr("Compare"), error);
            return;
        }
        compare(before, after);
        tabs->setCurrentIndex(0);
    });
    restoreSettings();
    setRunning(false);
}

QRect SweepWindow::availableArea() const
{
    const QScreen *shown = screen() ? screen() : QGuiApplication::primaryScreen();
    return shown ? shown->availableGeometry() : QRect(0, 0, 1280, 720);
}

// At its saved size and place where they still fit the screen, the frame and
// title bar included; the first time, and where they do not, the whole of
// the screen's available area.
void SweepWindow::placeOnScreen(const QByteArray &savedGeometry)
{
    if (savedGeometry.isEmpty() || !restoreGeometry(savedGeometry))
        setWindowState(windowState() | Qt::WindowMaximized);
}

// The set-up as wide as its table asks where the window has the room, at
// least as wide as its fields; the results the rest. Until the user moves
// the splitter, or it comes back as it was left.
void SweepWindow::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    if (panesPlaced)
        return;
    // Room for the fields, a scroll bar beside them and the panel's frame.
    const int scrollBar = setupPanel->verticalScrollBar()->sizeHint().width() + 2 * setupPanel->frameWidth();
    const int wish = setupPanel->widget()->sizeHint().width() + scrollBar;
    const int least = setupPanel->widget()->minimumSizeHint().width() + scrollBar;
    const int room = panes->width() - panes->handleWidth();
    const int setupWidth = std::max(least, std::min(wish, room - tabs->minimumSizeHint().width()));
    panes->setSizes({setupWidth, room - setupWidth});
}

void SweepWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    // The frame's size is known once the window manager has framed the
    // window: a restored size that leaves it out is brought inside then.
    QTimer::singleShot(0, this, [this] {
        const QRect area = availableArea();
        if (isMaximized() || isFullScreen() || area.contains(frameGeometry()))
            return;
        const QMargins frame(geometry().left() - frameGeometry().left(), geometry().top() - frameGeometry().top(),
                             frameGeometry().right() - geometry().right(), frameGeometry().bottom() - geometry().bottom());
        const QRect inside = area - frame;
        QRect fitted(geometry().topLeft(), geometry().size().boundedTo(inside.size()));
        fitted.moveLeft(std::clamp(fitted.left(), inside.left(), inside.right() - fitted.width() + 1));
        fitted.moveTop(std::clamp(fitted.top(), inside.top(), inside.bottom() - fitted.height() + 1));
        setGeometry(fitted);
    });
}

SweepWindow::~SweepWindow() = default;

QWidget *SweepWindow::buildSetup()
{
    auto *panel = new QWidget;
    auto *layout = new QVBoxLayout(panel);
    auto *setupBox = new QGroupBox(tr("Set-up"));
    (new QVBoxLayout(setupBox))->addWidget(setup);
    layout->addWidget(setupBox);

    auto *modesBox = new QGroupBox(tr("Modes"));
    auto *modesLayout = new QVBoxLayout(modesBox);
    // Two rows of buttons, so that the set-up stays narrow.
    auto *buttons = new QGridLayout;
    const QList<QPair<QString, std::function<void()>>> actions = {
        {tr("All"), [this] { modes->checkAll(true); }},
        {tr("Load plan…"), [this] { loadFile(true); }},
        {tr("Save plan…"), [this] { saveFile(true); }},
        {tr("None"), [this] { modes->checkAll(false); }},
        {tr("Load limits…"), [this] { loadFile(false); }},
        {tr("Save limits…"), [this] { saveFile(false); }},
    };
    for (int i = 0; i < actions.size(); ++i) {
        auto *button = new QPushButton(actions.at(i).first);
        connect(button, &QPushButton::clicked, this, actions.at(i).second);
        buttons->addWidget(button, i / 3, i % 3);
    }
    buttons->setColumnStretch(3, 1);
    modesLayout->addLayout(buttons);
    modesLayout->addWidget(modes);
    tableReason->setObjectName(QStringLiteral("tableReason"));
    modesLayout->addWidget(tableReason);
    layout->addWidget(modesBox, 1);
    return panel;
}

QWidget *SweepWindow::buildRun()
{
    auto *panel = new QWidget;
    auto *layout = new QVBoxLayout(panel);
    auto *controls = new QHBoxLayout;
    startButton->setObjectName(QStringLiteral("start"));
    stopButton->setObjectName(QStringLiteral("stop"));
    resumeButton->setObjectName(QStringLiteral("resume"));
    resumeButton->setToolTip(tr("Continue the sweep in the folder shown, measuring the checked modes it does not hold"));
    controls->addWidget(startButton);
    controls->addWidget(stopButton);
    controls->addWidget(resumeButton);
    // Room for "17 of 18 modes, about 10 min left" on a narrow screen.
    progress->setMinimumWidth(progress->fontMetrics().horizontalAdvance(tr("17 of 18 modes, about 10 min left")) + 24);
    controls->addWidget(progress, 1);
    layout->addLayout(controls);
    status->setWordWrap(true);
    status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(status);
    layout->addWidget(banner);
    layout->addWidget(entry);
    layout->addWidget(results, 1);

    auto *after = new QHBoxLayout;
    const QList<QPair<QString, std::function<void()>>> actions = {
        {tr("Open report"), [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(QDir(folder).filePath(QStringLiteral("report.html")))); }},
        {tr("Open folder"), [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); }},
        {tr("Compare with…"), [this] { compareWith(); }},
    };
    for (const auto &action : actions) {
        auto *button = new QPushButton(action.first);
        connect(button, &QPushButton::clicked, this, action.second);
        after->addWidget(button);
        afterRunButtons << button;
    }
    openButton = new QPushButton(tr("Open results…"));
    openButton->setObjectName(QStringLiteral("openResults"));
    connect(openButton, &QPushButton::clicked, this, &SweepWindow::openResults);
    after->addWidget(openButton);
    after->addStretch();
    layout->addLayout(after);
    return panel;
}

// The settings the window holds, or empty with why they cannot be measured.
std::optional<SweepSettings> SweepWindow::settings(QString *error) const
{
    SweepSettings settings;
    if (!setup->fill(settings, error))
        return std::nullopt;
    settings.modes = modes->checkedModes();
    const auto plan = modes->plan();
    const auto limits = modes->limits();
    if (!plan || !limits) {
        *error = modes->summary();
        return std::nullopt;
    }
    if (settings.modes.isEmpty()) {
        *error = tr("Check at least one mode.");
        return std::nullopt;
    }
    settings.plan = *plan;
    settings.limits = *limits;
    *error = settings.checkAgainstProfile();
    return error->isEmpty() ? std::optional<SweepSettings>(settings) : std::nullopt;
}

void SweepWindow::checkStart()
{
    QString reason;
    const bool ready = setup->isValid() && settings(&reason);
    tableReason->say(setup->isValid() ? reason : QString());
    startButton->setEnabled(!sweep && ready);
    resumeButton->setEnabled(!sweep && ready && canResume());
}

void SweepWindow::start()
{
    begin(QString());
}

void SweepWindow::resume()
{
    if (canResume())
        begin(folder);
}

// Starts a sweep into a new folder in "Save results in", or continues the
// one given under the command line's --resume rules.
void SweepWindow::begin(const QString &resumed)
{
    QString error;
    std::optional<SweepSettings> chosen = sweep ? std::nullopt : settings(&error);
    if (!chosen)
        return;
    if (resumed.isEmpty()) {
        QDir().mkpath(setup->resultsFolder());
        chosen->outputParent = setup->resultsFolder();
    } else {
        chosen->outputFolder = resumed;
        chosen->resume = true;
    }
    saveSettings();

    // Each sweep goes to the history, which must open before anything is sent.
    std::unique_ptr<History> runHistory = History::openChosen(historyOption, &error);
    if (!error.isEmpty()) {
        status->setText(tr("Cannot start: %1").arg(error));
        return;
    }
    sweep = std::make_unique<Sweep>(*chosen, std::move(runHistory));
    if (!sweep->prepare(&error)) {
        sweep.reset();
        status->setText(resumed.isEmpty() ? tr("Cannot start: %1").arg(error) : tr("Cannot resume: %1").arg(error));
        return;
    }
    folder = sweep->folderPath();
    results->clear();
    progress->setRange(0, chosen->modes.size());
    progress->setValue(0);
    progress->setFormat(tr("%v of %m modes"));
    connect(sweep.get(), &Sweep::modeStarted, this, [this](int position, int count, int index) {
        status->setText(tr("Measuring %1 (%2 of %3)…").arg(PowerModes::describe(index)).arg(position).arg(count));
        liveBins.clear();
        liveEvents.clear();
        liveTrimmed = 0;
    });
    connect(sweep.get(), &Sweep::binsTaken, this, &SweepWindow::showLiveBins);
    connect(sweep.get(), &Sweep::eventsTaken, this, [this](int, const QVector<ModeEvent> &events) { liveEvents += events; });
    connect(sweep.get(), &Sweep::resetWanted, this, [this](int index) { banner->ask(PowerModes::describe(index)); });
    connect(sweep.get(), &Sweep::readingWanted, this, [this](int index, int number, int of) {
        entry->ask(tr("%1, reading %2 of %3:").arg(PowerModes::describe(index)).arg(number).arg(of));
    });
    connect(sweep.get(), &Sweep::modeFinished, this, [this](int position, int count, const ResultRow &, double left) {
        showProgress(position, count, left);
    });
    connect(sweep.get(), &Sweep::recorded, this, [this] {
        results->showRows(sweep->rows(), ReportContext::fromFolder(folder), sweep->traces(), folder);
        budget->setFolder(folder);
        report->write(folder);
    });
    connect(sweep.get(), &Sweep::warning, this, [this](const QString &text) { status->setText(text); });
    // Over once the chart and report are up to date.
    connect(sweep.get(), &Sweep::finished, this, [this](Sweep::Outcome outcome, const QString &message) {
        report->whenIdle([this, outcome, message] {
            const QString reportError = report->lastError();
            if (outcome == Sweep::Completed && !reportError.isEmpty())
                finishRun(Sweep::Failed, reportError);
            else
                finishRun(outcome, message);
        });
    });
    setRunning(true);
    sweep->start();
}

// The mode being measured, its last ten seconds at most, as they come.
void SweepWindow::showLiveBins(int index, const QVector<TraceBin> &bins)
{
    liveBins += bins;
    const int excess = liveBins.size() - ResultsView::liveMilliseconds;
    if (excess > 0) {
        liveBins.remove(0, excess);
        liveTrimmed += excess;
    }
    const SweepSettings &used = sweep->settingsInUse();
    // Events of the part no longer shown go too.
    const double origin = liveTrimmed * ModeCapture::binSeconds;
    liveEvents.erase(std::remove_if(liveEvents.begin(), liveEvents.end(), [origin](const ModeEvent &event) { return event.endS() < origin; }),
                     liveEvents.end());
    results->showLive(tr("%1, now").arg(PowerModes::describe(index)), liveBins, used.planFor(index).settleSeconds, origin,
                      liveEvents, used.voltages().size() == 1 ? used.voltages().first() : std::nullopt);
}

void SweepWindow::stop()
{
    if (sweep)
        sweep->stop();
}

void SweepWindow::stopAndClose()
{
    if (!sweep) {
        close();
        return;
    }
    closeWhenStopped = true;
    sweep->stop();
}

void SweepWindow::showProgress(int position, int count, double secondsLeft)
{
    progress->setValue(position);
    progress->setFormat(position < count ? tr("%v of %m modes, %1").arg(timeLeft(secondsLeft)) : tr("%v of %m modes"));
}

void SweepWindow::finishRun(Sweep::Outcome outcome, const QString &message)
{
    banner->hide();
    entry->hide();
    holdModesOf(sweep->rows());
    const int kept = sweep->rows().size();
    const QString where = (kept == 1 ? tr("1 mode in %1") : tr("%1 modes in %2").arg(kept)).arg(QDir::toNativeSeparators(folder));
    if (outcome == Sweep::Completed)
        status->setText(tr("Done: %1.").arg(where) + (sweep->anyFailed() ? tr(" Some modes FAIL.") : QString()));
    else
        status->setText(tr("%1. Kept: %2.").arg(message.isEmpty() ? tr("Stopped") : message.left(1).toUpper() + message.mid(1), where));
    if (!sweep->historyFailure().isEmpty()) {
        status->setText(status->text() + tr(" The history missed part of this run (%1); bring the folder in with Import folder… "
                                             "on the History tab.").arg(sweep->historyFailure()));
    }
    // Deleted from the event loop: this slot runs inside the sweep's signal.
    sweep.release()->deleteLater();
    setRunning(false);
    emit sweepEnded(outcome);
    if (closeWhenStopped)
        close();
}

void SweepWindow::setRunning(bool running)
{
    setupPanel->widget()->setEnabled(!running);
    stopButton->setEnabled(running);
    openButton->setEnabled(!running);
    history->setResultsActionsEnabled(!running);
    resumeButton->setEnabled(!running && canResume());
    for (QPushButton *button : afterRunButtons)
        button->setEnabled(!running && !folder.isEmpty());
    checkStart();
}

void SweepWindow::loadFile(bool plan)
{
    const QString path = QFileDialog::getOpenFileName(this, plan ? tr("Load plan") : tr("Load limits"), QString(),
                                                      tr("CSV files (*.csv);;All files (*)"));
    QString error;
    if (!path.isEmpty() && !(plan ? modes->loadPlan(path, &error) : modes->loadLimits(path, &error)))
        QMessageBox::warning(this, plan ? tr("Load plan") : tr("Load limits"), error);
}

void SweepWindow::saveFile(bool plan)
{
    const QString path = QFileDialog::getSaveFileName(this, plan ? tr("Save plan") : tr("Save limits"),
                                                      plan ? QStringLiteral("plan.csv") : QStringLiteral("limits.csv"),
                                                      tr("CSV files (*.csv)"));
    QString error;
    if (!path.isEmpty() && !(plan ? modes->savePlan(path, &error) : modes->saveLimits(path, &error)))
        QMessageBox::warning(this, plan ? tr("Save plan") : tr("Save limits"), error);
}

void SweepWindow::openResults()
{
    const QString chosen = QFileDialog::getExistingDirectory(this, tr("Open results"), setup->resultsFolder());
    QString error;
    if (!chosen.isEmpty() && !showResults(chosen, &error))
        QMessageBox::warning(this, tr("Open results"), error);
}

bool SweepWindow::showResults(const QString &path, QString *error)
{
    const auto rows = ResultsFolder::readRows(path, error);
    if (!rows)
        return false;
    folder = path;
    holdModesOf(*rows);
    const auto traces = ResultsFolder::readTraces(path, error);
    if (!traces)
        return false;
    results->showRows(*rows, ReportContext::fromFolder(folder), *traces, folder);
    budget->setFolder(folder);
    status->setText(tr("Results in %1.").arg(QDir::toNativeSeparators(folder)));
    setRunning(false);
    return true;
}

// The folder shown holds results and lacks a mode that is checked.
bool SweepWindow::canResume() const
{
    if (heldModes.isEmpty())
        return false;
    for (int mode : modes->checkedModes()) {
        if (!heldModes.contains(mode))
            return true;
    }
    return false;
}

void SweepWindow::holdModesOf(const QList<ResultRow> &rows)
{
    heldModes.clear();
    for (const ResultRow &row : rows)
        heldModes << row.index;
}

void SweepWindow::compareWith()
{
    const QString other = QFileDialog::getExistingDirectory(this, tr("Compare with"), setup->resultsFolder());
    if (!other.isEmpty())
        compare(other, folder);
}

void SweepWindow::compare(const QString &before, const QString &after)
{
    QString error;
    const auto comparison = Comparison::of(before, after, 1.2, &error);
    if (!comparison) {
        QMessageBox::warning(this, tr("Compare"), error);
        return;
    }
    results->showComparison(*comparison);
    const int changed = comparison->changedModes().size();
    status->setText(tr("%1 (before) compared with %2 (after): %3 changed by more than a factor of 1.2 or lost its current.")
                        .arg(QDir::toNativeSeparators(before), QDir::toNativeSeparators(after),
                             changed == 1 ? tr("1 mode") : tr("%1 modes").arg(changed)));
}

void SweepWindow::setHistoryLocation(const QString &option)
{
    historyOption = option;
    history->setLocation(option);
}

void SweepWindow::closeEvent(QCloseEvent *event)
{
    if (sweep) {
        const bool stopIt = QMessageBox::question(this, tr("Stop the sweep?"),
                                                  tr("A sweep is running. Stop it and close? Every finished mode is kept."))
            == QMessageBox::Yes;
        if (!stopIt) {
            event->ignore();
            return;
        }
        // The sweep may have ended while the question was open; if not, the window closes once it has.
        if (sweep) {
            closeWhenStopped = true;
            sweep->stop();
            event->ignore();
            return;
        }
    }
    saveSettings();
    event->accept();
}

std::unique_ptr<QSettings> SweepWindow::settingsStore() const
{
    return settingsPath.isEmpty() ? std::make_unique<QSettings>() : std::make_unique<QSettings>(settingsPath, QSettings::IniFormat);
}

void SweepWindow::saveSettings() const
{
    const std::unique_ptr<QSettings> store = settingsStore();
    QSettings &settings = *store;
    setup->save(settings);
    QVariantList checked;
    for (int mode : modes->checkedModes())
        checked << mode;
    settings.setValue(QStringLiteral("modes"), checked);
    settings.setValue(QStringLiteral("modeCells"), modes->cells());
    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("panes"), panes->saveState());
    settings.setValue(QStringLiteral("resultsPanes"), results->saveState());
}

void SweepWindow::restoreSettings()
{
    const std::unique_ptr<QSettings> store = settingsStore();
    const QSettings &settings = *store;
    placeOnScreen(settings.value(QStringLiteral("geometry")).toByteArray());
    setup->restore(settings);
    panesPlaced = panes->restoreState(settings.value(QStringLiteral("panes")).toByteArray());
    results->restoreState(settings.value(QStringLiteral("resultsPanes")).toByteArray());
    if (!settings.contains(QStringLiteral("modes")))
        return;
    QList<int> checked;
    for (const QVariant &mode : settings.value(QStringLiteral("modes")).toList())
        checked << mode.toInt();
    modes->setCheckedModes(checked);
    modes->setCells(settings.value(QStringLiteral("modeCells")).toStringList());
}
