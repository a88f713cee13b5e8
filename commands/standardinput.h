#ifndef STANDARDINPUT_H
#define STANDARDINPUT_H

#include <QByteArray>
#include <QObject>

// Standard input as it comes, without blocking the event loop: each read's
// bytes, then its end. Taken only while enabled.
class StandardInput : public QObject
{
    Q_OBJECT

public:
    class Reader;   // the system's way of reading it

    explicit StandardInput(QObject *parent = nullptr);
    ~StandardInput() override;

    void setEnabled(bool enabled);
    // Whether it is a terminal (a console) that someone types in.
    static bool isTerminal();
    // What was typed and not read yet, dropped.
    static void discardTyped();

signals:
    void received(const QByteArray &bytes);
    void ended();

private:
    Reader *reader;
};

#endif // STANDARDINPUT_H
