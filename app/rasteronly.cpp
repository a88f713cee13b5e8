#include "app/rasteronly.h"

#include <QByteArray>

namespace RasterOnly {

void skipOpenGl()
{
    // Read by the X11 platform when it makes its first window.
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", QByteArrayLiteral("none"));
}

} // namespace RasterOnly
