// Renders a scalable icon into the PNG sizes of the hicolor theme, at build time.
//
//   vort-render-icon SVG OUTDIR NAME SIZE...
//
// writes OUTDIR/<SIZE>x<SIZE>/apps/NAME.png for every SIZE (in pixels, 1 to 1024), the
// drawing scaled to fill the square on a transparent background. Exit status 0, or 1
// with a message when the SVG cannot be read or a PNG cannot be written; 2 for a wrong
// command line.
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 5) {
        std::fputs("usage: vort-render-icon SVG OUTDIR NAME SIZE...\n", stderr);
        return 2;
    }
    // The drawings hold no text, so rendering into an image needs neither an application
    // object nor a display.
    const QString svg = QString::fromLocal8Bit(argv[1]);
    const QString outDir = QString::fromLocal8Bit(argv[2]);
    const QString name = QString::fromLocal8Bit(argv[3]);
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "vort-render-icon: %s is not a readable SVG image\n", argv[1]);
        return 1;
    }
    for (int i = 4; i < argc; ++i) {
        char* end = nullptr;
        const long size = std::strtol(argv[i], &end, 10);
        if (*argv[i] == '\0' || *end != '\0' || size < 1 || size > 1024) {
            std::fprintf(stderr, "vort-render-icon: %s is not a size from 1 to 1024\n", argv[i]);
            return 2;
        }
        const int side = static_cast<int>(size);
        QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, size, size));
        painter.end();
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(outDir).arg(size);
        const QString file = dir + QLatin1Char('/') + name + QStringLiteral(".png");
        if (!QDir().mkpath(dir) || !image.save(file, "PNG")) {
            std::fprintf(stderr, "vort-render-icon: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
