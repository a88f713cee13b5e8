#ifndef FORMPARTS_H
#define FORMPARTS_H

#include <QString>

#include <initializer_list>

class QComboBox;
class QDoubleSpinBox;
class QWidget;
class ReasonLabel;

// The pieces the set-up's form is built of, for its own fields and the
// supply's alike.
namespace FormParts {

// An entry of a combo box: its label (translated in `context`), the key the
// command line uses, and what the address field beside it takes.
struct Choice
{
    const char *label;
    const char *key;
    const char *hint;
};

template <size_t N>
void addChoices(QComboBox *box, const char *context, const Choice (&choices)[N]);

// A number box with a decimal point, as in the files; `none` names its lowest value.
QDoubleSpinBox *numberBox(double maximum, int decimals, const QString &suffix, const QString &none = QString());
// Widgets side by side; the one given as `growing` (else the first) takes the room left.
QWidget *row(std::initializer_list<QWidget *> widgets, QWidget *growing = nullptr);
// A field with its reason under it.
QWidget *withReason(QWidget *field, ReasonLabel *reason);
// A reason as the rules give it ("a voltage from …"), as a sentence.
QString sentence(const QString &why);

} // namespace FormParts

#include <QComboBox>
#include <QCoreApplication>

template <size_t N>
void FormParts::addChoices(QComboBox *box, const char *context, const Choice (&choices)[N])
{
    for (const Choice &choice : choices)
        box->addItem(QCoreApplication::translate(context, choice.label), QLatin1String(choice.key));
}

#endif // FORMPARTS_H
