#ifndef DIALOGFORM_H
#define DIALOGFORM_H

class Dialog;
class QComboBox;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QPushButton;
class QSpacerItem;

// The port-selection dialog's widgets. The pointers do not own: widgets
// belong to the dialog, spacers and the inner layout to the grid.
class DialogForm
{
public:
    QGridLayout *gridLayout = nullptr;
    QPushButton *pushButton = nullptr;
    QSpacerItem *rightSpacer = nullptr;
    QSpacerItem *leftSpacer = nullptr;
    QLabel *label_4 = nullptr;
    QLabel *label = nullptr;
    QHBoxLayout *horizontalLayout_2 = nullptr;
    QComboBox *comboBox = nullptr;

    void setupUi(Dialog *dialog);
};

#endif // DIALOGFORM_H
