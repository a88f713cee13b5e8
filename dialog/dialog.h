#ifndef DIALOG_H
#define DIALOG_H

#include <QDialog>
#include <QString>

class DialogForm;
class QSerialPort;

// Lets the operator pick the board's serial port, tests it, and opens a
// power-mode window on it.
class Dialog : public QDialog
{
    Q_OBJECT

public:
    explicit Dialog(QWidget *parent = nullptr);
    ~Dialog() override;

private slots:
    void on_pushButton_clicked();

private:
    bool savePortName();
    void reportConnected();
    void reportFailure(const char *text);

    QSerialPort *port;
    QString portName;
    DialogForm *ui;
};

#endif // DIALOG_H
