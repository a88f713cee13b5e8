#ifndef RASTERONLY_H
#define RASTERONLY_H

// The windows paint with Qt's raster engine and never with OpenGL. On X11,
// Qt would still load the OpenGL stack (the GLX integration, Mesa and its
// compiler) at the first window: about half of the program's start-up.
namespace RasterOnly {

// Keeps it from doing so, unless the user chose an integration
// (QT_XCB_GL_INTEGRATION). Call after the application object and before
// the first window; elsewhere than on X11 it changes nothing.
void skipOpenGl();

} // namespace RasterOnly

#endif // RASTERONLY_H
