#ifndef DIALOGDRIVER_H
#define DIALOGDRIVER_H

#include <QList>
#include <QString>

class Dialog;
class MainWindow;

// What an operator does in the port-selection dialog.
namespace DialogDriver {

// Puts the port at the end of the list and selects it; the platform never
// lists pseudo-terminals, so this is how a test offers its simulated board.
void choosePort(Dialog &dialog, const QString &portName);
void pressConnect(Dialog &dialog);

QList<MainWindow *> powerModeWindows();

} // namespace DialogDriver

#endif // DIALOGDRIVER_H
