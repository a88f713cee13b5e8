#ifndef DESKTOPFONTS_H
#define DESKTOPFONTS_H

// The forms name Windows fonts and were laid out for Windows' dialog font.
// Elsewhere those fonts are missing and the fallbacks are wider, so texts
// would be cut at the forms' fixed sizes.
namespace DesktopFonts {

// Off Windows, where a named family is missing: stands in an installed
// family of like width for it, and makes the default font one of the Windows
// dialog font's size. Call once, after the application object and before the
// first window. On Windows it changes nothing.
void standInForMissingFonts();

} // namespace DesktopFonts

#endif // DESKTOPFONTS_H
