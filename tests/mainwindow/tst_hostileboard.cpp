// Whatever a broken or hostile board sends, the window shows it as text,
// one read at a time, and keeps working.
#include "tests/support/windowonboard.h"

#include <QRandomGenerator>
#include <QSerialPort>
#include <QtTest>

namespace {

const QString scoreTitle = QStringLiteral("CoreMark Score Display");
const QChar replacement(0xFFFD);

// What a reply shows when it arrives in one read: its text up to the first zero byte.
QString textOf(const QByteArray &reply)
{
    const int zero = reply.indexOf('\0');
    return QString::fromUtf8(reply.left(zero < 0 ? reply.size() : zero));
}

QByteArray hostileReply(QRandomGenerator &random, int size)
{
    static const QList<QByteArray> pieces = {
        "<b>166.42</b>", "<img src=\"x\">", "&amp;&lt;", "<html><body><h1>", "\r", "\n", "\r\n",
        QByteArray(1, '\0'), "\xc0\x80", "\xff", "\x80", "\xe2\x82", "\xf0\x9f\x98", "\xc2\xb5" "A",
        "CoreMark 1.0 : 166.42 / GCC12.2.0 -O2 / STACK", "\xe2\x82\xac",
    };
    QByteArray reply;
    while (reply.size() < size) {
        if (random.bounded(3) == 0) {
            reply += pieces.at(random.bounded(pieces.size()));
        } else {
            const int length = 1 + random.bounded(64);
            for (int i = 0; i < length; ++i)
                reply += char(random.bounded(256));
        }
    }
    return reply.left(size);
}

} // namespace

class HostileBoardTest : public QObject
{
    Q_OBJECT

private slots:
    void showsEveryRandomReplyAsPlainText_data();
    void showsEveryRandomReplyAsPlainText();
    void showsAReplyThatTricklesInByteByByte();
    void showsACharacterSplitAcrossReadsAsReplacements();
};

// Each reply costs the window's 100 ms wait for the rest of a reply, so the
// 500 replies come in batches that CTest runs as tests of their own.
void HostileBoardTest::showsEveryRandomReplyAsPlainText_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 batch = 1; batch <= 10; ++batch)
        QTest::newRow(qPrintable(QStringLiteral("batch %1").arg(batch))) << 20261207u + batch;
}

void HostileBoardTest::showsEveryRandomReplyAsPlainText()
{
    QFETCH(quint32, seed);
    WindowOnBoard rig;
    rig.confirm(0);
    QRandomGenerator random(seed);

    for (int round = 0; round < 50; ++round) {
        // Mostly short replies, and now and then one of up to 64 KiB.
        const int size = round % 25 == 24 ? 60000 + random.bounded(5537) : random.bounded(1025);
        const QByteArray reply = hostileReply(random, size);
        const QString expected = textOf(reply);
        const int before = rig.watcher.boxes(scoreTitle).size();

        rig.board.send(reply);
        QVERIFY2(rig.waitUntilSettled(), qPrintable(QStringLiteral("round %1").arg(round)));

        const QList<BoxRecord> shown = rig.watcher.boxes(scoreTitle).mid(before);
        for (const BoxRecord &box : shown) {
            QVERIFY(!box.shownAsRichText);
            QVERIFY(!box.text.isEmpty() && !box.text.contains(QChar::Null));
        }
        if (size <= 1024) {
            // A short reply reaches the window in one read.
            QCOMPARE(shown.size(), expected.isEmpty() ? 0 : 1);
            if (!expected.isEmpty())
                QCOMPARE(shown.first().text, expected);
        } else if (!expected.isEmpty()) {
            // A long one comes in pieces, each read shown on its own.
            QVERIFY(!shown.isEmpty());
            QString first = shown.first().text;
            while (first.endsWith(replacement))
                first.chop(1);
            QVERIFY(expected.startsWith(first));
        }
    }
    QVERIFY(rig.port()->isOpen());
}

void HostileBoardTest::showsAReplyThatTricklesInByteByByte()
{
    WindowOnBoard rig;
    rig.confirm(0);
    const QByteArray reply = BoardSimulator::coreMarkReport(15);

    rig.board.sendPaced(reply, 1);
    QVERIFY(rig.waitUntilSettled(20000));

    QString shown;
    for (const BoxRecord &box : rig.watcher.boxes(scoreTitle))
        shown += box.text;
    QCOMPARE(shown, QString::fromLatin1(reply));
}

void HostileBoardTest::showsACharacterSplitAcrossReadsAsReplacements()
{
    WindowOnBoard rig;
    rig.confirm(0);
    rig.board.send("current 3.2 \xc2");
    QTRY_COMPARE(rig.watcher.boxes(scoreTitle).size(), 1);
    rig.board.send("\xb5" "A");
    QVERIFY(rig.waitUntilSettled());

    const QList<BoxRecord> shown = rig.watcher.boxes(scoreTitle);
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown.at(0).text, QStringLiteral("current 3.2 ") + replacement);
    QCOMPARE(shown.at(1).text, replacement + QStringLiteral("A"));
}

QTEST_MAIN(HostileBoardTest)
#include "tst_hostileboard.moc"
