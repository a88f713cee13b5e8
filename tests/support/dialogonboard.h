#ifndef DIALOGONBOARD_H
#define DIALOGONBOARD_H

#include "dialog/dialog.h"
#include "simulator/boardsimulator.h"
#include "tests/support/boxwatcher.h"
#include "tests/support/scratchfolder.h"

#include <QList>

class MainWindow;
class QComboBox;
class QSerialPort;

// A shown port-selection dialog with a simulated board chosen in its list,
// in its own working folder, with an operator answering its boxes.
struct DialogOnBoard
{
    ScratchFolder folder;
    BoardSimulator board;
    BoxWatcher watcher;
    Dialog dialog;

    // The platform never lists pseudo-terminals, so the board's port is put
    // at the end of the list and selected.
    DialogOnBoard();

    QComboBox *list() const;
    QSerialPort *port() const;   // the dialog's own
    void pressConnect();
};

// The power-mode windows on screen.
QList<MainWindow *> powerModeWindows();

#endif // DIALOGONBOARD_H
