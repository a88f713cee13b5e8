#ifndef WAVEFORMVIEW_H
#define WAVEFORMVIEW_H

#include "report/waveformchart.h"
#include "results/spanmeasure.h"

#include <QWidget>

#include <optional>

class QLabel;
class QPushButton;

// A mode's waveform to explore: the wheel zooms the time around the
// pointer, dragging pans, a double click shows the whole mode; dragging
// with Shift marks a span, whose length, mean, peak, charge and energy the
// line below gives (from every sample where they were kept and the span is
// under a second, else from the bins), and Copy puts that line on the
// clipboard. The arrow keys step from event to event, marking each.
class WaveformView : public QWidget
{
    Q_OBJECT

public:
    explicit WaveformView(QWidget *parent = nullptr);

    // A finished mode, seen whole; `samplesPath` where its every sample was kept.
    void showMode(const WaveformChart &chart, const QString &samplesPath, const std::optional<double> &volts);
    // The mode being measured, as more of it comes: the part looked at and the span marked stay.
    void showLive(const WaveformChart &chart, const std::optional<double> &volts);
    void clear();

    int modeCount() const { return chart ? 1 : 0; }
    const WaveformChart *shown() const { return chart ? &*chart : nullptr; }
    WaveformChart::Span view() const { return viewed; }
    std::optional<WaveformChart::Span> marked() const { return mark; }
    QString measureText() const;

    // For the pointer and keys alike: zoom by `factor` (below 1 closer) about a time, pan by seconds, mark a span.
    void zoomAbout(double seconds, double factor);
    void panBy(double seconds);
    void markSpan(double fromS, double toS);
    void stepEvent(int direction);

    static constexpr double samplesUnderSeconds = 1.0;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    class Canvas;
    void refresh();
    void measure();

    Canvas *canvas;
    QLabel *line;
    QPushButton *copy;
    std::optional<WaveformChart> chart;
    WaveformChart::Span viewed;
    bool zoomed = false;
    std::optional<WaveformChart::Span> mark;
    int eventAt = -1;
    QString samplesPath;
    std::optional<double> volts;
    std::optional<SpanMeasure> measured;
};

#endif // WAVEFORMVIEW_H
