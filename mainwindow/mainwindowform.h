#ifndef MAINWINDOWFORM_H
#define MAINWINDOWFORM_H

class MainWindow;
class QComboBox;
class QGridLayout;
class QLabel;
class QPushButton;
class QStatusBar;
class QWidget;

// The power-mode window's widgets. The pointers do not own: the widgets
// belong to the window.
class MainWindowForm
{
public:
    QWidget *centralWidget = nullptr;
    QGridLayout *gridLayout = nullptr;
    QLabel *label_5 = nullptr;
    QLabel *label = nullptr;
    QPushButton *pushButton_2 = nullptr;
    QComboBox *comboBox_2 = nullptr;
    QStatusBar *statusBar = nullptr;

    void setupUi(MainWindow *window);
    void retranslateUi(MainWindow *window);
};

#endif // MAINWINDOWFORM_H
