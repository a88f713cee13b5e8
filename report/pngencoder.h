#ifndef PNGENCODER_H
#define PNGENCODER_H

#include <QByteArray>

class QImage;

namespace PngEncoder {

// A PNG of the image, written for speed: the chart is redrawn after every
// mode, and Qt's own writer tries every row filter at full compression,
// which takes three times as long for a file a fifth smaller.
QByteArray encode(const QImage &image);

} // namespace PngEncoder

#endif // PNGENCODER_H
