// Compiles the Windows resource script with the MinGW resource compiler and
// reads back what a Windows build of the executable would carry.
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

namespace {

struct Resource
{
    QVariant type;   // an ordinal number, or a name
    QVariant name;
    quint16 language = 0;
    QByteArray data;
};

quint16 word(const QByteArray &bytes, int at) { return qFromLittleEndian<quint16>(bytes.constData() + at); }
quint32 dword(const QByteArray &bytes, int at) { return qFromLittleEndian<quint32>(bytes.constData() + at); }
int alignedTo4(int at) { return (at + 3) & ~3; }

// A resource type or name: 0xFFFF and an ordinal, or a zero-terminated UTF-16 string.
QVariant readId(const QByteArray &bytes, int &at)
{
    if (word(bytes, at) == 0xFFFF) {
        at += 4;
        return int(word(bytes, at - 2));
    }
    QString text;
    for (; word(bytes, at) != 0; at += 2)
        text += QChar(word(bytes, at));
    at += 2;
    return text;
}

QList<Resource> readResFile(const QByteArray &bytes)
{
    QList<Resource> resources;
    int at = 0;
    while (at + 32 <= bytes.size()) {
        const int dataSize = int(dword(bytes, at));
        const int headerSize = int(dword(bytes, at + 4));
        int field = at + 8;
        Resource resource;
        resource.type = readId(bytes, field);
        resource.name = readId(bytes, field);
        field = alignedTo4(field);
        resource.language = word(bytes, field + 6);
        resource.data = bytes.mid(at + headerSize, dataSize);
        if (dataSize > 0)
            resources << resource;
        at = alignedTo4(at + headerSize + dataSize);
    }
    return resources;
}

const Resource *find(const QList<Resource> &resources, int type, const QVariant &name)
{
    for (const Resource &resource : resources) {
        if (resource.type == type && resource.name == name)
            return &resource;
    }
    return nullptr;
}

QByteArray utf16(const QString &text)
{
    QByteArray bytes;
    for (QChar c : text + QChar(0)) {
        const char pair[2] = {char(c.unicode() & 0xff), char(c.unicode() >> 8)};
        bytes.append(pair, 2);
    }
    return bytes;
}

// The value of a String entry of the version record, or a null string.
QString versionString(const QByteArray &record, const QString &key)
{
    const int keyAt = record.indexOf(utf16(key));
    if (keyAt < 0)
        return QString();
    QString value(QLatin1String(""));
    for (int at = alignedTo4(keyAt + utf16(key).size()); word(record, at) != 0; at += 2)
        value += QChar(word(record, at));
    return value;
}

// The resources a script compiles to; empty, with the compiler's complaint, where it does not.
QList<Resource> compiled(const QString &script, QString *error)
{
    const QString compiler = QStandardPaths::findExecutable(QStringLiteral("x86_64-w64-mingw32-windres"));
    if (compiler.isEmpty()) {
        *error = QStringLiteral("x86_64-w64-mingw32-windres is missing (package binutils-mingw-w64-x86-64)");
        return {};
    }
    QTemporaryDir output;
    const QString resFile = output.filePath(QStringLiteral("program.res"));
    QProcess windres;
    windres.setWorkingDirectory(QFileInfo(script).absolutePath());
    windres.start(compiler, {QStringLiteral("--preprocessor=cpp"), script, QStringLiteral("-O"), QStringLiteral("res"),
                             QStringLiteral("-o"), resFile});
    if (!windres.waitForFinished(30000) || windres.exitCode() != 0) {
        *error = QString::fromLocal8Bit(windres.readAllStandardError());
        return {};
    }
    QFile res(resFile);
    return res.open(QIODevice::ReadOnly) ? readResFile(res.readAll()) : QList<Resource>();
}

} // namespace

// Each program's script: the program's own, as it always was, and the
// tools', from one template.
class WindowsResourcesTest : public QObject
{
    Q_OBJECT

private slots:
    void carriesTheEmblemAsIconGroup_data();
    void carriesTheEmblemAsIconGroup();
    void carriesTheVersionRecord_data();
    void carriesTheVersionRecord();
};

void WindowsResourcesTest::carriesTheEmblemAsIconGroup_data()
{
    QTest::addColumn<QString>("script");
    QTest::newRow("Pellmora") << QStringLiteral(RESOURCE_SCRIPT);
    QTest::newRow("pellmora-sweep") << QStringLiteral(TOOL_RESOURCE_SCRIPT);
}

void WindowsResourcesTest::carriesTheEmblemAsIconGroup()
{
    QFETCH(QString, script);
    QString error;
    const QList<Resource> resources = compiled(script, &error);
    QVERIFY2(!resources.isEmpty(), qPrintable(error));
    const int groupIcon = 14;    const int icon = 3;
    const Resource *group = find(resources, groupIcon, QStringLiteral("IDI_ICON1"));
    QVERIFY(group);
    QCOMPARE(group->language, quint16(0x0409));
    QCOMPARE(word(group->data, 2), quint16(1));   // an icon directory

    QList<int> sizes;
    for (int entry = 0; entry < word(group->data, 4); ++entry) {
        const int at = 6 + entry * 14;
        const int size = quint8(group->data.at(at));
        sizes << size;
        QCOMPARE(quint8(group->data.at(at + 1)), quint8(size));
        QCOMPARE(word(group->data, at + 6), quint16(32));
        const Resource *image = find(resources, icon, int(word(group->data, at + 12)));
        QVERIFY(image);
        // Each image is a bitmap of 32 bits per pixel: colour and alpha.
        QCOMPARE(dword(image->data, 0), quint32(40));
        QCOMPARE(int(dword(image->data, 4)), size);
        QCOMPARE(word(image->data, 14), quint16(32));
    }
    std::sort(sizes.begin(), sizes.end());
    QCOMPARE(sizes, (QList<int>{16, 32, 48, 64, 128}));
}

void WindowsResourcesTest::carriesTheVersionRecord_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("company");
    QTest::newRow("Pellmora") << QStringLiteral(RESOURCE_SCRIPT) << "Pellmora.exe" << "" << "";
    QTest::newRow("pellmora-sweep") << QStringLiteral(TOOL_RESOURCE_SCRIPT) << "pellmora-sweep.exe"
                                    << "Pellmora's power-mode characterisation from the command line" << "Pellmora developers";
}

void WindowsResourcesTest::carriesTheVersionRecord()
{
    QFETCH(QString, script);
    QFETCH(QString, file);
    QFETCH(QString, description);
    QFETCH(QString, company);
    QString error;
    const QList<Resource> resources = compiled(script, &error);
    QVERIFY2(!resources.isEmpty(), qPrintable(error));
    const int version = 16;
    const Resource *record = find(resources, version, 1);
    QVERIFY(record);
    QCOMPARE(record->language, quint16(0x0409));
    const QByteArray &data = record->data;
    QVERIFY(data.contains(utf16(QStringLiteral("VS_VERSION_INFO"))));

    const int fixed = data.indexOf(QByteArray::fromHex("bd04effe"));
    QVERIFY(fixed > 0);
    for (int field = 2; field <= 5; ++field)
        QCOMPARE(dword(data, fixed + 4 * field), quint32(0));   // file and product versions 0.0.0.0
    QCOMPARE(dword(data, fixed + 4 * 8), quint32(0x4));         // 32-bit Windows

    QVERIFY(data.contains(utf16(QStringLiteral("040904b0"))));
    QCOMPARE(versionString(data, QStringLiteral("FileVersion")), QStringLiteral("0.0.0.0"));
    QCOMPARE(versionString(data, QStringLiteral("OriginalFilename")), file);
    QCOMPARE(versionString(data, QStringLiteral("ProductName")), QStringLiteral("Pellmora"));
    QCOMPARE(versionString(data, QStringLiteral("ProductVersion")), QStringLiteral("0.0.0.0"));
    QCOMPARE(versionString(data, QStringLiteral("FileDescription")), description);
    QCOMPARE(versionString(data, QStringLiteral("CompanyName")), company);
    QCOMPARE(versionString(data, QStringLiteral("LegalCopyright")), QString(QLatin1String("")));

    const int translation = data.indexOf(utf16(QStringLiteral("Translation")));
    QVERIFY(translation > 0);
    const int value = alignedTo4(translation + utf16(QStringLiteral("Translation")).size());
    QCOMPARE(word(data, value), quint16(0x0409));
    QCOMPARE(word(data, value + 2), quint16(1200));
}

QTEST_GUILESS_MAIN(WindowsResourcesTest)
#include "tst_windowsresources.moc"
