#ifndef PAINTPROBE_H
#define PAINTPROBE_H

class QWidget;

// Once the widget has been painted for the first time, prints the monotonic
// clock in nanoseconds and the resident memory in KiB, then quits.
void reportFirstPaint(QWidget *widget);

#endif // PAINTPROBE_H
