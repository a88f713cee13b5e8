// Meter replies and typed readings, read the same whatever the locale: the
// suite runs once more under a decimal-comma locale.
#include "meter/readings.h"

#include <QtTest>

class ReadingsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void parsesReplies_data();
    void parsesReplies();
    void parsesTypedReadings_data();
    void parsesTypedReadings();
    void writesNumbersWithADecimalPoint();
};

void ReadingsTest::initTestCase()
{
    const QByteArray locale = qgetenv("PELLMORA_TEST_LOCALE");
    if (!locale.isEmpty())
        QLocale::setDefault(QLocale(QString::fromLatin1(locale)));
}

void ReadingsTest::parsesReplies_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("expected");   // amperes, "overload", or "error"
    QTest::newRow("signed exponent") << QByteArray("+1.23456789E-06\r\n") << "1.23456789e-06";
    QTest::newRow("short exponent") << QByteArray("1.2E-6\n") << "1.2e-06";
    QTest::newRow("list") << QByteArray("1.5E-06,-2E-9, 3e-3\n") << "1.5e-06 -2e-09 0.003";
    QTest::newRow("overload") << QByteArray("9.9E37") << "overload";
    QTest::newRow("overload above") << QByteArray("9.91E37") << "overload";
    QTest::newRow("negative overload") << QByteArray("1E-6,-9.9E37") << "1e-06 overload";
    QTest::newRow("decimal comma") << QByteArray("1,5E-06") << "error";
    QTest::newRow("empty") << QByteArray("\r\n") << "error";
    QTest::newRow("nan") << QByteArray("NaN") << "error";
    QTest::newRow("text") << QByteArray("-113,\"Undefined header\"") << "error";
    QTest::newRow("empty field") << QByteArray("1E-6,,2E-6") << "error";
    QTest::newRow("bare integer") << QByteArray("1") << "error";
}

void ReadingsTest::parsesReplies()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, expected);
    const Readings::Parsed parsed = Readings::parseReply(reply);
    if (expected == QLatin1String("error")) {
        QVERIFY(parsed.readings.isEmpty());
        QVERIFY2(parsed.error.contains(QString::fromLatin1(reply.trimmed())), qPrintable(parsed.error));
        return;
    }
    QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error));
    QStringList shown;
    for (const Reading &reading : parsed.readings)
        shown << (reading.overload ? QStringLiteral("overload") : Numbers::format(reading.amperes));
    QCOMPARE(shown.join(QLatin1Char(' ')), expected);
}

void ReadingsTest::parsesTypedReadings_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<double>("amperes");   // 0: refused
    QTest::newRow("nano") << "32n" << 32e-9;
    QTest::newRow("micro") << "12.3u" << 12.3e-6;
    QTest::newRow("micro with unit") << "12.3 uA" << 12.3e-6;
    QTest::newRow("micro sign") << "12.3 \u00b5A" << 12.3e-6;
    QTest::newRow("milli") << "0.45m" << 0.45e-3;
    QTest::newRow("exponent") << "1.2e-6" << 1.2e-6;
    QTest::newRow("milliamperes") << "4.5 mA" << 4.5e-3;
    QTest::newRow("amperes") << " 0.01 A " << 0.01;
    QTest::newRow("decimal comma") << "12,3u" << 0.0;
    QTest::newRow("unknown prefix") << "12.3k" << 0.0;
    QTest::newRow("two prefixes") << "12.3 mu" << 0.0;
    QTest::newRow("no number") << "mA" << 0.0;
    QTest::newRow("empty") << "" << 0.0;
}

void ReadingsTest::parsesTypedReadings()
{
    QFETCH(QString, typed);
    QFETCH(double, amperes);
    QString error;
    const std::optional<double> value = Readings::parseTyped(typed, &error);
    if (amperes == 0) {
        QVERIFY(!value);
        QVERIFY2(error.contains(QLatin1String("12.3u")), qPrintable(error));   // shows an example
        return;
    }
    QVERIFY2(value, qPrintable(error));
    QCOMPARE(*value, amperes);
}

void ReadingsTest::writesNumbersWithADecimalPoint()
{
    QCOMPARE(Numbers::format(0.2), QStringLiteral("0.2"));
    QCOMPARE(Numbers::format(1.5e-6), QStringLiteral("1.5e-06"));
    QCOMPARE(Numbers::parse(QStringLiteral("0.2")), std::optional<double>(0.2));
    QCOMPARE(Numbers::parse(QStringLiteral("0,2")), std::nullopt);
    QCOMPARE(Readings::formatAmperes(312e-9), QStringLiteral("312 nA"));
    QCOMPARE(Readings::formatAmperes(1.05e-3), QStringLiteral("1.05 mA"));
    QCOMPARE(Readings::formatAmperes(999.9e-9), QStringLiteral("1.00 \u00b5A"));
    // Three significant digits everywhere, not "9.8 mA" beside "9.89 mA".
    QCOMPARE(Readings::formatAmperes(9.8e-3), QStringLiteral("9.80 mA"));
    QCOMPARE(Readings::formatAmperes(33e-9), QStringLiteral("33.0 nA"));
    QCOMPARE(Readings::formatAmperes(0.5e-12), QStringLiteral("0.500 pA"));
    QCOMPARE(Readings::formatSi(0, QStringLiteral("s")), QStringLiteral("0.00 s"));
    QCOMPARE(Readings::formatAmperes(-1.5e-9), QStringLiteral("-1.50 nA"));
    QCOMPARE(Readings::formatSi(34.26e-3, QStringLiteral("W"), QChar(0x00a0)), QStringLiteral("34.3\u00a0mW"));
}

QTEST_GUILESS_MAIN(ReadingsTest)
#include "tst_readings.moc"
