#include "app/desktopfonts.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>

namespace {

// Liberation Sans has Arial's metrics; the other families are narrower than
// it, so texts set for them fit in it too.
const char standIn[] = "Liberation Sans";
const char *const namedFamilies[] = {"Arial", "Arial Black", "Berlin Sans FB", "Berlin Sans FB Demi"};

// Windows' message font, which Qt makes the default there: Segoe UI at 9 points.
constexpr int dialogFontPointSize = 9;

} // namespace

namespace DesktopFonts {

void standInForMissingFonts()
{
#ifndef Q_OS_WIN
    const QStringList installed = QFontDatabase().families();
    bool anyMissing = false;
    for (const char *family : namedFamilies) {
        if (!installed.contains(QLatin1String(family))) {
            QFont::insertSubstitution(QLatin1String(family), QLatin1String(standIn));
            anyMissing = true;
        }
    }
    if (anyMissing)
        QApplication::setFont(QFont(QLatin1String(standIn), dialogFontPointSize));
#endif
}

} // namespace DesktopFonts
