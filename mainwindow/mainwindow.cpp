#include "mainwindow/mainwindow.h"

#include "board/seriallink.h"
#include "mainwindow/mainwindowform.h"
#include "mainwindow/modetests.h"
#include "mainwindow/statustexts.h"
#include "serial/handofffile.h"

#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QSerialPort>

namespace {

const char paragraphOpener[] = "<p><b><font size=\"4\" face=\"arial\" color=\"black\">";
const char measuringInstruction[] = "Please measure current then use Reset button to select another test</font></p>";

// A board that streams without pause must not grow the process while a box
// is open; what does not fit waits in the system's buffer.
constexpr qint64 replyBufferSize = 64 * 1024;

// After a reply starts, further bytes are collected this long before the box shows.
constexpr int replyCompletionWait = 100;

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new MainWindowForm)
    , serial(nullptr)
{
    ui->setupUi(this);
    // A closed window lets go of its port, so the board can be connected again.
    setAttribute(Qt::WA_DeleteOnClose);

    const QString portName = HandOffFile::read();
    serial = new QSerialPort(this);
    serial->setReadBufferSize(replyBufferSize);
    SerialLink::closeOnLineFailure(serial);
    SerialLink::open(*serial, portName);
}

MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::serialreceived()
{
    // The port raises no readyRead while this slot runs, so bytes that come
    // in while a score box is open are shown once it is closed.
    do {
        serial->waitForReadyRead(replyCompletionWait);
        showReply(serial->readAll());
    } while (serial->bytesAvailable() > 0);
}

void MainWindow::on_pushButton_2_clicked()
{
    connect(serial, &QSerialPort::readyRead, this, &MainWindow::serialreceived, Qt::UniqueConnection);

    const int modeIndex = ui->comboBox_2->currentIndex();
    const ModeTest *mode = ModeTests::find(modeIndex);
    if (!mode) {
        reportError(QString());
        return;
    }
    if (!sendCommand(modeIndex)) {
        reportError(serial->error() == QSerialPort::NoError ? QString() : serial->errorString());
        return;
    }
    showTestBox(*mode);
    ui->label->setText(QString::fromLatin1(mode->coreMarkWaitNotice ? StatusTexts::coreMarkWaitNotice
                                                                     : StatusTexts::resetPrompt));
}

void MainWindow::on_comboBox_2_currentIndexChanged(int index)
{
    const ModeTest *mode = ModeTests::find(index);
    if (mode && mode->coreMarkWaitNotice)
        ui->label->setText(QString::fromLatin1(StatusTexts::resetPrompt));
}

bool MainWindow::sendCommand(int modeIndex)
{
    const QByteArray command = SerialLink::modeCommand(modeIndex);
    if (!serial->isOpen() || serial->write(command) != command.size())
        return false;
    // On an open port write() only queues the bytes; handing them to the
    // system, now rather than once the test box is built, is what can fail.
    return serial->flush();
}

void MainWindow::showTestBox(const ModeTest &mode)
{
    QMessageBox testBox(this);
    testBox.setWindowTitle(QStringLiteral("Power consumption test"));
    testBox.setStandardButtons(QMessageBox::Ok);
    testBox.setDefaultButton(QMessageBox::Ok);
    testBox.setIconPixmap(QPixmap(QStringLiteral(":/images/images/multimetre.png")));
    testBox.setText(QString::fromLatin1(paragraphOpener) + QString::fromLatin1(mode.testLine)
                    + QString::fromLatin1(paragraphOpener) + QString::fromLatin1(measuringInstruction));
    testBox.exec();
}

void MainWindow::showReply(const QByteArray &reply)
{
    receivedText = QString::fromUtf8(reply.constData(), int(qstrnlen(reply.constData(), uint(reply.size()))));
    if (receivedText.isEmpty())
        return;
    QMessageBox scoreBox(QMessageBox::NoIcon, QStringLiteral("CoreMark Score Display"), receivedText,
                         QMessageBox::Ok, this);
    scoreBox.setDefaultButton(QMessageBox::Ok);
    // Board text is shown as it came, even when it looks like markup.
    scoreBox.setTextFormat(Qt::PlainText);
    scoreBox.exec();
}

void MainWindow::reportError(const QString &detail)
{
    QMessageBox errorBox(QMessageBox::Critical, tr("ERROR"), tr("An error has occured"), QMessageBox::Ok, this);
    errorBox.setInformativeText(detail);
    errorBox.exec();
    ui->label->setText(QString::fromLatin1(StatusTexts::resetPrompt));
}
