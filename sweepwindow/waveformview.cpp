#include "sweepwindow/waveformview.h"

#include "meter/readings.h"
#include "ppk2/ppk2protocol.h"

#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <cmath>

// The chart itself, taking the pointer's gestures to the view.
class WaveformView::Canvas : public QWidget
{
public:
    explicit Canvas(WaveformView *owner)
        : QWidget(owner)
        , view(owner)
    {
        setMinimumSize(360, 180);
        setMouseTracking(false);
    }

    double secondsAt(double x) const
    {
        return view->chart ? view->chart->showing(view->viewed, std::nullopt).secondsAt(x, size(), textPixels()) : 0;
    }

protected:
    QSize sizeHint() const override { return QSize(Chart::width / 2, Chart::height / 2); }

    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        if (!view->chart)
            return;
        painter.setRenderHint(QPainter::Antialiasing);
        view->chart->showing(view->viewed, view->mark).paint(painter, size(), textPixels());
    }

    void wheelEvent(QWheelEvent *event) override
    {
        const double steps = event->angleDelta().y() / 120.0;
        if (steps != 0)
            view->zoomAbout(secondsAt(event->position().x()), std::pow(0.8, steps));
        event->accept();
    }

    void mousePressEvent(QMouseEvent *event) override
    {
        if (event->button() != Qt::LeftButton)
            return;
        pressedAt = secondsAt(event->pos().x());
        lastX = event->pos().x();
        marking = event->modifiers() & Qt::ShiftModifier;
    }

    void mouseMoveEvent(QMouseEvent *event) override
    {
        if (!(event->buttons() & Qt::LeftButton) || !view->chart)
            return;
        if (marking) {
            view->markSpan(pressedAt, secondsAt(event->pos().x()));
        } else {
            // The time under the pointer stays under it.
            view->panBy(secondsAt(lastX) - secondsAt(event->pos().x()));
            lastX = event->pos().x();
        }
    }

    void mouseDoubleClickEvent(QMouseEvent *) override
    {
        view->zoomed = false;
        view->refresh();
    }

private:
    double textPixels() const { return QFontInfo(font()).pixelSize(); }

    WaveformView *view;
    double pressedAt = 0;
    int lastX = 0;
    bool marking = false;
};

WaveformView::WaveformView(QWidget *parent)
    : QWidget(parent)
    , canvas(new Canvas(this))
    , line(new QLabel)
    , copy(new QPushButton(tr("&Copy")))
{
    setFocusPolicy(Qt::StrongFocus);
    line->setObjectName(QStringLiteral("spanMeasure"));
    line->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Wrapped in whatever width there is, so that a long measure never widens the window.
    line->setWordWrap(true);
    line->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    line->setText(tr("Wheel: zoom · drag: pan · Shift+drag: measure a span · double click: whole mode · ←/→: events"));
    copy->setObjectName(QStringLiteral("copySpan"));
    copy->setEnabled(false);
    copy->setToolTip(tr("Put the measured span's line on the clipboard"));
    connect(copy, &QPushButton::clicked, this, [this] { QApplication::clipboard()->setText(measureText()); });
    auto *below = new QHBoxLayout;
    below->addWidget(line, 1);
    below->addWidget(copy);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(canvas, 1);
    layout->addLayout(below);
}

void WaveformView::showMode(const WaveformChart &shownChart, const QString &path, const std::optional<double> &modeVolts)
{
    chart = shownChart;
    samplesPath = path;
    volts = modeVolts;
    zoomed = false;
    mark.reset();
    eventAt = -1;
    refresh();
}

void WaveformView::showLive(const WaveformChart &shownChart, const std::optional<double> &modeVolts)
{
    chart = shownChart;
    samplesPath.clear();
    volts = modeVolts;
    refresh();
}

void WaveformView::clear()
{
    chart.reset();
    mark.reset();
    measured.reset();
    zoomed = false;
    eventAt = -1;
    refresh();
}

void WaveformView::refresh()
{
    if (chart) {
        // The view as the chart clamps it: never outside the mode, never closer than a few bins.
        viewed = chart->showing(zoomed ? viewed : chart->whole(), std::nullopt).view();
    }
    measure();
    canvas->update();
}

void WaveformView::zoomAbout(double seconds, double factor)
{
    if (!chart)
        return;
    const WaveformChart::Span from = zoomed ? viewed : chart->whole();
    viewed = {seconds - (seconds - from.first) * factor, seconds + (from.second - seconds) * factor};
    zoomed = true;
    refresh();
}

void WaveformView::panBy(double seconds)
{
    if (!chart || !zoomed)
        return;
    const WaveformChart::Span all = chart->whole();
    const double width = viewed.second - viewed.first;
    const double from = std::clamp(viewed.first + seconds, all.first, std::max(all.first, all.second - width));
    viewed = {from, from + width};
    refresh();
}

void WaveformView::markSpan(double fromS, double toS)
{
    mark = WaveformChart::Span {std::min(fromS, toS), std::max(fromS, toS)};
    refresh();
}

void WaveformView::stepEvent(int direction)
{
    if (!chart || chart->modeEvents().isEmpty())
        return;
    const int count = chart->modeEvents().size();
    eventAt = std::clamp(eventAt < 0 ? (direction > 0 ? 0 : count - 1) : eventAt + direction, 0, count - 1);
    const ModeEvent &event = chart->modeEvents().at(eventAt);
    mark = WaveformChart::Span {event.startS, event.endS()};
    // Into view, at the zoom there is, or closer where the event would be lost in it.
    const double width = zoomed ? viewed.second - viewed.first : chart->whole().second - chart->whole().first;
    if (!zoomed || event.startS < viewed.first || event.endS() > viewed.second) {
        const double shownWidth = std::max(width, event.durationS * 3);
        const double middle = (event.startS + event.endS()) / 2;
        viewed = {middle - shownWidth / 2, middle + shownWidth / 2};
        zoomed = true;
    }
    refresh();
}

void WaveformView::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Right || event->key() == Qt::Key_Left)
        stepEvent(event->key() == Qt::Key_Right ? 1 : -1);
    else
        QWidget::keyPressEvent(event);
}

// From every sample where the mode kept them and the span is short enough to read them at once.
void WaveformView::measure()
{
    measured.reset();
    if (chart && mark) {
        QString error;
        if (!samplesPath.isEmpty() && QFileInfo::exists(samplesPath) && mark->second - mark->first < samplesUnderSeconds)
            measured = SpanMeasure::ofSamples(samplesPath, Ppk2::samplesPerSecond, mark->first, mark->second, &error);
        if (!measured)
            measured = SpanMeasure::ofBins(chart->traceBins(), chart->secondsPerBin(), chart->origin(), mark->first, mark->second);
    }
    copy->setEnabled(measured.has_value());
    if (measured)
        line->setText(measureText());
}

QString WaveformView::measureText() const
{
    if (!measured)
        return QString();
    return measured->text(volts)
        + (measured->fromSamples ? tr(" (every sample)")
                                 : tr(" (%1 bins)").arg(Readings::formatSi(chart->secondsPerBin(), QStringLiteral("s"))));
}
