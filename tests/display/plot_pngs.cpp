// Draws a known band in every style, as a scan would, and writes PNGs of the
// plot and its scale strip to the folder given on the command line, so that
// a person can look at them. Not a test: nothing is checked here.
//
//   qv7m-plot-pngs OUTDIR
#include "display/graticule.h"
#include "display/imagesurface.h"
#include "display/trace.h"

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <cstdio>

using namespace qv7m;

namespace {

// A band of 20 kHz at 250 Hz steps: a noise floor, an SSB signal, a strong
// carrier and a weak one. sweep varies the noise so two sweeps differ.
int16_t reading(int step, int sweep) {
    const double f = step / 4.0;  // kHz from the left edge
    uint32_t seed = uint32_t(step * 2654435761u + sweep * 40503u);
    seed ^= seed >> 13;
    seed *= 0x5bd1e995u;
    seed ^= seed >> 15;
    double m = 18 + (seed % 14);
    if (f > 3.5 && f < 6.2) m = std::max(m, 95 + 20 * std::sin((f - 3.5) * 4.0));
    m = std::max(m, 185 * std::exp(-std::pow((f - 13.0) / 0.35, 2)));
    m = std::max(m, 60 * std::exp(-std::pow((f - 17.5) / 0.3, 2)));
    return int16_t(std::min(255.0, m));
}

struct Plot {
    ImageSurface picture1;
    ImageSurface picture2;
    double spanUnits = 0;
    double prevMeter = 0;

    Plot(qreal ratio, const QFont& font)
        : picture1(8000, 2550, RGB(0, 0, 0), 0x00E0E0E0, font, ratio),
          picture2(8000, 150, RGB(0, 0, 0), 0x00E0E0E0, font, ratio) {}

    // One sweep of the window: 81 points, the first and last on the edges.
    void sweep(int16_t style, int16_t shade, int sweepNo, int points = 81) {
        const double stepUnits = 25;
        const double half = picture1.Width() / (spanUnits / stepUnits) / 2;
        double plotX = 0, prevX = 0;
        for (int k = 0; k < points; ++k) {
            const int16_t m = reading(k, sweepNo);
            drawPoint(picture1, PointInputs{plotX, half, prevX, prevMeter, m, shade, style});
            prevMeter = m;
            prevX = plotX;
            plotX += picture1.Width() / (spanUnits / stepUnits);
        }
    }

    // The plot over the strip as the window lays them out (the strip's top
    // 30 twips lie under the plot).
    QImage composed() const {
        const qreal r = picture1.devicePixelRatio();
        const int top2 = int(std::floor((4680 - 2160) * r / 15));
        QImage out(picture1.image().width(), top2 + picture2.image().height(), QImage::Format_RGB32);
        out.fill(qRgb(0xC0, 0xC0, 0xC0));
        QPainter p(&out);
        QImage a = picture1.image(), b = picture2.image();
        a.setDevicePixelRatio(1);
        b.setDevicePixelRatio(1);
        p.drawImage(0, top2, b);
        p.drawImage(0, 0, a);
        return out;
    }
};

bool write(const QImage& img, const QString& path) {
    if (!img.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8.25);

    const struct {
        const char* name;
        int16_t style;
        qreal ratio;
    } cases[] = {{"area", 0, 1}, {"line", 1, 1}, {"waterfall", 2, 1}, {"none", -1, 1}, {"area-ratio2", 0, 2},
                 {"waterfall-ratio2", 2, 2}};
    bool ok = true;
    for (const auto& c : cases) {
        Plot plot(c.ratio, font);
        // Start-up: the list handlers, the load handler's clearing, then the
        // Paint event of the first show.
        disClick(plot.picture1, plot.picture2, "20", c.style, plot.spanUnits);
        styleClick(plot.picture1, plot.picture2, "20", c.style, plot.spanUnits);
        plot.picture1.Cls();
        plot.picture2.Cls();
        paintGraticule(plot.picture1, plot.picture2, "20", c.style, plot.spanUnits);
        // A whole first sweep (shade 140), then most of the second (220).
        plot.sweep(c.style, 140, 1);
        plot.sweep(c.style, 220, 2, 55);
        ok &= write(plot.composed(), QDir(dir).filePath(QStringLiteral("%1.png").arg(c.name)));
        if (c.style == 0) {
            // A Paint event in mid-scan draws the graticule over the trace.
            paintGraticule(plot.picture1, plot.picture2, "20", c.style, plot.spanUnits);
            ok &= write(plot.composed(), QDir(dir).filePath(QStringLiteral("%1-repainted.png").arg(c.name)));
        }
    }
    return ok ? 0 : 1;
}
