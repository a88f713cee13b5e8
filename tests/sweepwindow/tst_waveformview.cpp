// A mode's waveform explored in the window: zoomed about the pointer,
// panned, shown whole again, a span measured from the bins or from every
// sample, copied, and stepped through event by event.
#include "sweepwindow/waveformview.h"

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QPushButton>
#include <QtEndian>
#include <QtTest>

namespace {

// A second of 1 ms bins: 1 µA, with 2 mA from 300 to 310 ms and from 700 to 705 ms.
QVector<TraceBin> second()
{
    QVector<TraceBin> bins;
    for (int ms = 0; ms < 1000; ++ms) {
        const bool high = (ms >= 300 && ms < 310) || (ms >= 700 && ms < 705);
        const double amperes = high ? 2e-3 : 1e-6;
        bins << TraceBin {amperes, amperes * 0.9, amperes * 1.5, quint8(high ? 1 : 0)};
    }
    return bins;
}

QVector<ModeEvent> wakeUps()
{
    ModeEvent first;
    first.source = QStringLiteral("D0");
    first.n = 1;
    first.startS = 0.3;
    first.durationS = 0.01;
    ModeEvent next = first;
    next.n = 2;
    next.startS = 0.7;
    next.durationS = 0.005;
    return {first, next};
}

} // namespace

class WaveformViewTest : public QObject
{
    Q_OBJECT

private slots:
    void measuresASpanFromTheBinsOrEverySample();
    void zoomsPansAndShowsTheWholeModeAgain();
    void marksCopiesAndStepsThroughEvents();

private:
    QTemporaryDir scratch;
};

void WaveformViewTest::measuresASpanFromTheBinsOrEverySample()
{
    const std::optional<SpanMeasure> bins = SpanMeasure::ofBins(second(), 1e-3, 0, 0.3, 0.32);
    QVERIFY(bins);
    QCOMPARE(bins->seconds(), 0.02);
    QVERIFY(qFuzzyCompare(bins->mean, (10 * 2e-3 + 10 * 1e-6) / 20));
    QVERIFY(qFuzzyCompare(bins->peak, 3e-3));
    QVERIFY(!SpanMeasure::ofBins({TraceBin::none()}, 1e-3, 0, 0, 1));

    // Samples at 100,000 a second; a lost one (NaN) is left out.
    const QString path = scratch.filePath(QStringLiteral("3.f32"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (int i = 0; i < 1000; ++i) {
        char bytes[4];
        qToLittleEndian(i == 500 ? std::numeric_limits<float>::quiet_NaN() : float(i < 500 ? 1e-3 : 3e-3), bytes);
        file.write(bytes, 4);
    }
    file.close();
    QString error;
    const std::optional<SpanMeasure> samples = SpanMeasure::ofSamples(path, 100000, 0.004, 0.006, &error);
    QVERIFY2(samples, qPrintable(error));
    QVERIFY(samples->fromSamples);
    QVERIFY(qFuzzyCompare(samples->mean, (100 * double(1e-3f) + 99 * double(3e-3f)) / 199));
    QVERIFY(qFuzzyCompare(samples->peak, double(float(3e-3))));
    QCOMPARE(samples->text(3.3).left(34), QStringLiteral("2.00 ms from 4.00 ms: mean 1.99 mA"));
    QVERIFY(samples->text(3.3).contains(QLatin1String(", energy ")));
    QVERIFY(!samples->text(std::nullopt).contains(QLatin1String("energy")));
}

void WaveformViewTest::zoomsPansAndShowsTheWholeModeAgain()
{
    WaveformView view;
    view.resize(800, 400);
    view.show();
    view.showMode(WaveformChart(QStringLiteral("5 STOP2 + RTC"), second(), 1e-3, 0.2, 0, wakeUps()), QString(), 3.3);
    QCOMPARE(view.view(), WaveformChart::Span(0, 1));

    view.zoomAbout(0.3, 0.5);   // the time under the pointer stays where it was
    QVERIFY(qFuzzyCompare(view.view().first, 0.15) && qFuzzyCompare(view.view().second, 0.65));
    view.panBy(0.1);
    QVERIFY(qFuzzyCompare(view.view().first, 0.25));
    view.panBy(10);   // never past the mode's end
    QVERIFY(qFuzzyCompare(view.view().second, 1.0) && qFuzzyCompare(view.view().first, 0.5));
    view.zoomAbout(0.6, 1e-6);   // never closer than ten bins
    QVERIFY(qFuzzyCompare(view.view().second - view.view().first, 0.01));

    // The wheel and a double click, as the operator gives them.
    QWidget *canvas = view.findChildren<QWidget *>().first();
    QTest::mouseDClick(canvas, Qt::LeftButton);
    QCOMPARE(view.view(), WaveformChart::Span(0, 1));
    QWheelEvent wheel(QPointF(canvas->width() / 2.0, 100), canvas->mapToGlobal(QPoint(canvas->width() / 2, 100)), QPoint(),
                      QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas, &wheel);
    QVERIFY(view.view().second - view.view().first < 0.9);
}

void WaveformViewTest::marksCopiesAndStepsThroughEvents()
{
    WaveformView view;
    view.resize(800, 400);
    view.show();
    view.showMode(WaveformChart(QStringLiteral("5 STOP2 + RTC"), second(), 1e-3, 0.2, 0, wakeUps()), QString(), 3.3);
    auto *copy = view.findChild<QPushButton *>(QStringLiteral("copySpan"));
    QVERIFY(!copy->isEnabled());

    view.markSpan(0.32, 0.3);   // dragged right to left
    QCOMPARE(view.marked(), std::optional<WaveformChart::Span>({0.3, 0.32}));
    QVERIFY2(view.measureText().startsWith(QStringLiteral("20.0 ms from 300 ms: mean 1.00 mA, peak 3.00 mA, charge 20.0 µC, "
                                                          "energy 66.0 µJ")),
             qPrintable(view.measureText()));
    QVERIFY(view.measureText().endsWith(QLatin1String("(1.00 ms bins)")));
    QVERIFY(copy->isEnabled());
    copy->click();
    QCOMPARE(QApplication::clipboard()->text(), view.measureText());
    QCOMPARE(view.findChild<QLabel *>(QStringLiteral("spanMeasure"))->text(), view.measureText());

    QTest::keyClick(&view, Qt::Key_Right);
    QCOMPARE(view.marked(), std::optional<WaveformChart::Span>({0.3, 0.31}));
    QTest::keyClick(&view, Qt::Key_Right);
    QCOMPARE(view.marked(), std::optional<WaveformChart::Span>({0.7, 0.705}));
    QVERIFY(view.view().first <= 0.7 && view.view().second >= 0.705);
    QTest::keyClick(&view, Qt::Key_Right);   // the last stays the last
    QCOMPARE(view.marked()->first, 0.7);
    QTest::keyClick(&view, Qt::Key_Left);
    QCOMPARE(view.marked()->first, 0.3);

    // A short span where every sample was kept is measured from them.
    const QString path = scratch.filePath(QStringLiteral("5.f32"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QByteArray sample = [] { char bytes[4]; qToLittleEndian(2.5e-3f, bytes); return QByteArray(bytes, 4); }();
    for (int i = 0; i < 100000; ++i)
        file.write(sample);
    file.close();
    view.showMode(WaveformChart(QStringLiteral("5 STOP2 + RTC"), second(), 1e-3, 0.2, 0, wakeUps()), path, 3.3);
    view.markSpan(0.1, 0.2);
    QVERIFY2(view.measureText().contains(QLatin1String("mean 2.50 mA")) && view.measureText().endsWith(QLatin1String("(every sample)")),
             qPrintable(view.measureText()));
    view.markSpan(0, 1);   // a second and more: the bins
    QVERIFY(view.measureText().endsWith(QLatin1String("(1.00 ms bins)")));
}

QTEST_MAIN(WaveformViewTest)
#include "tst_waveformview.moc"
