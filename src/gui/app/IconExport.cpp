// glowmere-icon-export DIR: writes the application icon, as the program
// draws it, into DIR/NxN/apps/org.glowmere.Glowmere.png for the icon theme's
// sizes. Run at build time; not installed.
#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>

#include "gui/widgets/Icons.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: glowmere-icon-export DIR\n");
        return 2;
    }
    // No display is needed to paint into an image.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QIcon icon = glowmere::gui::icons::application();
    for (int size : glowmere::gui::icons::applicationSizes) {
        const QString dir = QString("%1/%2x%2/apps").arg(QString::fromLocal8Bit(argv[1])).arg(size);
        const QString file = dir + "/org.glowmere.Glowmere.png";
        QPixmap pixmap = icon.pixmap(QSize(size, size));
        if (!QDir().mkpath(dir) || pixmap.size() != QSize(size, size) || !pixmap.save(file, "PNG")) {
            std::fprintf(stderr, "glowmere-icon-export: could not write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
