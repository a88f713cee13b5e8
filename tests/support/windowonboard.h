#ifndef WINDOWONBOARD_H
#define WINDOWONBOARD_H

#include "mainwindow/mainwindow.h"
#include "simulator/boardsimulator.h"
#include "tests/support/boxwatcher.h"
#include "tests/support/scratchfolder.h"

#include <memory>

class QComboBox;
class QLabel;
class QPushButton;
class QSerialPort;

// A shown power-mode window on its own simulated board, in its own working
// folder, with an operator answering its boxes.
struct WindowOnBoard
{
    ScratchFolder folder;
    BoardSimulator board;
    BoxWatcher watcher;
    std::unique_ptr<MainWindow> window;

    // The hand-off file names the board, unless another content is given.
    explicit WindowOnBoard(const QByteArray &handOff = QByteArray());

    QComboBox *list() const;
    QLabel *status() const;
    QPushButton *confirmButton() const;
    QSerialPort *port() const;

    void confirm(int mode);
    // Until the board has nothing left for the window and no box is open.
    bool waitUntilSettled(int timeout = 10000);
};

#endif // WINDOWONBOARD_H
