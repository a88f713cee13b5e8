// The one set of rules for a sweep's settings, as the command line, the plan
// and limits files and the window all apply them; and what a results folder
// records of the settings, which a resumed sweep must match.
#include "settings/settingrules.h"
#include "settings/sweepsettings.h"

#include <QtTest>

class SettingRulesTest : public QObject
{
    Q_OBJECT

private slots:
    void checksEveryCellOfAPlanRowAtOnce_data();
    void checksEveryCellOfAPlanRowAtOnce();
    void limitsMayNotCrossAndModesCountOnce();
    void refusesARangeTheMeterDoesNotHave();
    void recordsWhatChangesAMeasurementAndNoCredentials();
    void readsASupplyUnitsVoltages_data();
    void readsASupplyUnitsVoltages();
};

void SettingRulesTest::checksEveryCellOfAPlanRowAtOnce_data()
{
    // range, nplc, settle_s, samples, entry_check; then the columns whose cells are refused.
    QTest::addColumn<QStringList>("cells");
    QTest::addColumn<QStringList>("refused");
    QTest::newRow("all empty: the defaults") << QStringList {"", "", "", "", ""} << QStringList();
    QTest::newRow("at the bounds") << QStringList {"auto", "100", "3600", "10000", "off"} << QStringList();
    QTest::newRow("past every bound") << QStringList {"0", "100.5", "3600.5", "10001", "no"}
                                      << QStringList {"range", "nplc", "settle_s", "samples", "entry_check"};
    QTest::newRow("below every bound") << QStringList {"-1e-3", "0", "-0.1", "0", "on"}
                                       << QStringList {"range", "nplc", "settle_s", "samples"};
    QTest::newRow("not numbers as files write them") << QStringList {"1 mA", "1,5", "2s", "1.5", "0"}
                                                     << QStringList {"range", "nplc", "settle_s", "samples", "entry_check"};
}

void SettingRulesTest::checksEveryCellOfAPlanRowAtOnce()
{
    QFETCH(QStringList, cells);
    QFETCH(QStringList, refused);
    QStringList reasons;
    const PlanRow row = PlanRow::parse(cells, &reasons);
    QStringList refusedColumns;
    for (int column = 0; column < reasons.size(); ++column) {
        if (!reasons.at(column).isEmpty()) {
            refusedColumns << PlanRow::columns.at(column);
            QVERIFY2(reasons.at(column).contains(cells.at(column).trimmed()), qPrintable(reasons.at(column)));
        }
    }
    QCOMPARE(refusedColumns, refused);
    // What is valid is written back as it was given.
    if (refused.isEmpty())
        QCOMPARE(row.cells(), cells);
}

void SettingRulesTest::limitsMayNotCrossAndModesCountOnce()
{
    QStringList reasons;
    const Limits crossed = parseLimits({"2e-6", "1e-6"}, &reasons);
    QCOMPARE(reasons.first(), QString());
    QCOMPARE(reasons.last(), QStringLiteral("max_a 1e-6 is below min_a 2e-6"));
    QCOMPARE(crossed.min, std::optional<double>(2e-6));
    parseLimits({"", "-5e-9"}, &reasons);
    QCOMPARE(reasons, QStringList({QString(), QString()}));

    QString why;
    QCOMPARE(SettingRules::parseModes(QStringLiteral("0-3,15"), &why), std::optional<QList<int>>({0, 1, 2, 3, 15}));
    QVERIFY(!SettingRules::parseModes(QStringLiteral("4,0-5"), &why));
    QCOMPARE(why, QStringLiteral("\"4,0-5\" names mode 4 twice"));
}

void SettingRulesTest::refusesARangeTheMeterDoesNotHave()
{
    SweepSettings settings;
    settings.meter = MeterAddress::parse(QStringLiteral("tcp:127.0.0.1"), nullptr);
    settings.modes = {0, 13};
    settings.profile.ranges = {1e-4, 1e-2, 1};
    QStringList reasons;
    settings.plan.insert(13, PlanRow::parse({"3", "", "", ""}, &reasons));
    QCOMPARE(settings.checkAgainstProfile(), QStringLiteral("mode 13: range 3.00 A is above the meter's largest range, 1.00 A"));
    settings.plan.insert(13, PlanRow::parse({"1", "", "", ""}, &reasons));
    QCOMPARE(settings.checkAgainstProfile(), QString());
}

void SettingRulesTest::recordsWhatChangesAMeasurementAndNoCredentials()
{
    SweepSettings recorded;
    recorded.port = QStringLiteral("ttyACM0");
    recorded.reset = *ResetStrategy::parse(QStringLiteral("command:curl -u admin:secret http://relay/reset"), nullptr);
    recorded.supplyVolts = 3.3;
    QStringList reasons;
    recorded.plan.insert(0, PlanRow::parse({"1e-6", "10", "", ""}, &reasons));
    const QJsonObject json = recorded.toJson();
    QCOMPARE(json.value(QStringLiteral("reset")).toString(), QStringLiteral("command"));
    QVERIFY(!QJsonDocument(json).toJson().contains("secret"));

    ResultRow finished;
    finished.index = 0;
    finished.settings = recorded.rowSettings(0);
    SweepSettings same = recorded;
    same.reset = ResetStrategy();   // how the board is reset changes no measurement
    QCOMPARE(same.differenceFrom(json, {finished}), QString());

    SweepSettings otherSupply = recorded;
    otherSupply.supplyVolts = 3.0;
    QCOMPARE(otherSupply.differenceFrom(json, {finished}), QStringLiteral("--supply is 3 here but 3.3 in the folder"));

    SweepSettings otherPlan = recorded;
    otherPlan.plan.clear();
    QCOMPARE(otherPlan.differenceFrom(json, {finished}),
             QStringLiteral("mode 0 (SHUTDOWN) was measured with range 1.00 \u00b5A, NPLC 10, settle 2 s, 10 readings, boot 0.5 s; "
                            "this run would use range auto, NPLC 1, settle 2 s, 10 readings, boot 0.5 s"));
}

void SettingRulesTest::readsASupplyUnitsVoltages_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<double>>("voltages");   // empty: refused
    QTest::newRow("two, in the order given") << "3.3,1.8" << QList<double> {3.3, 1.8};
    QTest::newRow("spaces and a trailing comma") << " 1.8 , 3.3, " << QList<double> {1.8, 3.3};
    QTest::newRow("at the bounds") << "0.5,6" << QList<double> {0.5, 6};
    QTest::newRow("a typo feeding 33 V") << "1.8,33" << QList<double>();
    QTest::newRow("below 0.5 V") << "0.3" << QList<double>();
    QTest::newRow("twice the same") << "3.3,3.30" << QList<double>();
    QTest::newRow("nothing") << "," << QList<double>();
}

void SettingRulesTest::readsASupplyUnitsVoltages()
{
    QFETCH(QString, text);
    QFETCH(QList<double>, voltages);
    QString why;
    const std::optional<QList<double>> read = SettingRules::parseVoltages(text, QStringLiteral("--supply"), &why);
    QCOMPARE(read.value_or(QList<double>()), voltages);
    QCOMPARE(why.isEmpty(), !voltages.isEmpty());
    QVERIFY2(voltages.isEmpty() || why.isEmpty(), qPrintable(why));
    QVERIFY2(!voltages.isEmpty() || why.startsWith(QLatin1String("--supply ")), qPrintable(why));
}

QTEST_GUILESS_MAIN(SettingRulesTest)
#include "tst_settingrules.moc"
