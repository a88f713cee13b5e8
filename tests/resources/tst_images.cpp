#include "dialog/dialog.h"
#include "mainwindow/mainwindow.h"
#include "tests/support/scratchfolder.h"

#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QtTest>

class ImagesTest : public QObject
{
    Q_OBJECT

private slots:
    void imagesHaveTheirFormatsAndSizes_data();
    void imagesHaveTheirFormatsAndSizes();
    void labelsDrawTheirPicturesAtTheirOwnSize_data();
    void labelsDrawTheirPicturesAtTheirOwnSize();
};

namespace {

enum PngColour { Rgb = 2, Rgba = 6, NotPng = -1 };

// What the file itself declares, beyond what the decoder makes of it.
void checkEncoding(const QByteArray &file, int pngColour)
{
    if (pngColour == NotPng) {
        QVERIFY(file.contains("\xff\xc0"));    // baseline frame
        QVERIFY(!file.contains("\xff\xc2"));   // no progressive frame
        const int frame = file.indexOf("\xff\xc0");
        QCOMPARE(int(quint8(file.at(frame + 4))), 8);    // bits per sample
        QCOMPARE(int(quint8(file.at(frame + 9))), 3);    // colour components
        return;
    }
    QVERIFY(file.startsWith("\x89PNG\r\n\x1a\n"));
    QCOMPARE(int(quint8(file.at(24))), 8);             // bits per channel
    QCOMPARE(int(quint8(file.at(25))), pngColour);
}

} // namespace

void ImagesTest::imagesHaveTheirFormatsAndSizes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("format");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("pngColour");
    QTest::newRow("emblem") << ":/images/images/pondra.png" << QByteArray("png") << QSize(200, 200) << int(Rgba);
    QTest::newRow("board") << ":/images/images/pondra-Lx.jpg" << QByteArray("jpeg") << QSize(500, 367) << int(NotPng);
    QTest::newRow("multimeter") << ":/images/images/multimetre.png" << QByteArray("png") << QSize(128, 128) << int(Rgb);
    QTest::newRow("connected") << ":/images/images/Actions-network-connect-icon.png" << QByteArray("png")
                               << QSize(96, 96) << int(Rgba);
}

void ImagesTest::imagesHaveTheirFormatsAndSizes()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, format);
    QFETCH(QSize, size);
    QFETCH(int, pngColour);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    checkEncoding(file.readAll(), pngColour);

    QImageReader reader(path);
    QCOMPARE(reader.format(), format);
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), size);
    QCOMPARE(image.hasAlphaChannel(), pngColour == Rgba);
    if (path.endsWith(QLatin1String("pondra.png"))) {
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                QCOMPARE(qAlpha(image.pixel(x, y)), 255);
        }
    }
}

void ImagesTest::labelsDrawTheirPicturesAtTheirOwnSize_data()
{
    QTest::addColumn<bool>("inDialog");
    QTest::addColumn<QString>("labelName");
    QTest::addColumn<QString>("path");
    QTest::newRow("dialog emblem") << true << "label_4" << ":/images/images/pondra.png";
    QTest::newRow("window board") << false << "label_5" << ":/images/images/pondra-Lx.jpg";
}

void ImagesTest::labelsDrawTheirPicturesAtTheirOwnSize()
{
    QFETCH(bool, inDialog);
    QFETCH(QString, labelName);
    QFETCH(QString, path);
    ScratchFolder folder;
    std::unique_ptr<QWidget> window;
    if (inDialog)
        window = std::make_unique<Dialog>();
    else
        window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));

    const QImage drawn = window->findChild<QLabel *>(labelName)->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage picture = QImage(path).convertToFormat(QImage::Format_RGB32);
    const QSize shared = drawn.size().boundedTo(picture.size());
    int differing = 0;
    for (int y = 0; y < shared.height(); ++y) {
        for (int x = 0; x < shared.width(); ++x)
            differing += drawn.pixel(x, y) != picture.pixel(x, y);
    }
    QCOMPARE(differing, 0);
}

QTEST_MAIN(ImagesTest)
#include "tst_images.moc"
