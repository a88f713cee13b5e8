#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include <QMainWindow>
#include <QString>

class MainWindowForm;
class QSerialPort;
struct ModeTest;

// Sends the chosen power mode to the board and shows what the board answers.
// Each window opens the port named in the hand-off file and talks only to it.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

private slots:
    void serialreceived();
    void on_pushButton_2_clicked();
    void on_comboBox_2_currentIndexChanged(int index);

private:
    bool sendCommand(int modeIndex);
    void showTestBox(const ModeTest &mode);
    void showReply(const QByteArray &reply);
    void reportError(const QString &detail);

    QString receivedText;
    MainWindowForm *ui;
    QSerialPort *serial;
};

#endif // MAINWINDOW_H
