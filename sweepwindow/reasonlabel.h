#ifndef REASONLABEL_H
#define REASONLABEL_H

#include <QLabel>

// Why a field is not valid, in a line of its own that is always there, so
// that nothing moves as one comes and goes. A reason too long for the line
// is cut with an ellipsis and given whole in its tooltip.
class ReasonLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ReasonLabel(QWidget *parent = nullptr);

    // Empty: nothing to say. Good news is said in green, trouble in red.
    void say(const QString &reason, bool trouble = true);
    QString reason() const { return full; }

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void fit();

    QString full;
};

#endif // REASONLABEL_H
