// Draws the program's icons into PNG files at every size the program and the desktop use.
// Run it after changing a drawing and commit the pictures:
//   cmake --build build/default --target draw-icons && build/default/tools/draw-icons resources/icons

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>
#include <functional>

namespace {

// All drawings use a 256 by 256 canvas, scaled to the picture size.
using Drawing = std::function<void(QPainter&)>;

void SevenSegmentEight(QPainter& p, QRectF box, const QColor& on)
{
    // Segments as thick bars with bevelled ends; all seven lit, plus the point.
    const qreal w = box.width(), h = box.height();
    const qreal t = w * 0.22;  // bar thickness
    const qreal x0 = box.left(), y0 = box.top();
    auto bar = [&](QPointF a, QPointF b) {
        QPainterPath path;
        const bool horizontal = a.y() == b.y();
        const qreal e = t / 2;
        if (horizontal) {
            path.moveTo(a.x() + e, a.y() - e);
            path.lineTo(b.x() - e, b.y() - e);
            path.lineTo(b.x(), b.y());
            path.lineTo(b.x() - e, b.y() + e);
            path.lineTo(a.x() + e, a.y() + e);
            path.lineTo(a.x(), a.y());
        } else {
            path.moveTo(a.x() - e, a.y() + e);
            path.lineTo(a.x(), a.y());
            path.lineTo(a.x() + e, a.y() + e);
            path.lineTo(b.x() + e, b.y() - e);
            path.lineTo(b.x(), b.y());
            path.lineTo(b.x() - e, b.y() - e);
        }
        path.closeSubpath();
        p.fillPath(path, on);
    };
    const qreal l = x0 + t / 2, r = x0 + w - t / 2;
    const qreal top = y0 + t / 2, mid = y0 + h / 2, bottom = y0 + h - t / 2;
    const qreal gap = t * 0.12;
    bar({l + gap, top}, {r - gap, top});
    bar({l + gap, mid}, {r - gap, mid});
    bar({l + gap, bottom}, {r - gap, bottom});
    bar({l, top + gap}, {l, mid - gap});
    bar({r, top + gap}, {r, mid - gap});
    bar({l, mid + gap}, {l, bottom - gap});
    bar({r, mid + gap}, {r, bottom - gap});
    p.setPen(Qt::NoPen);
    p.setBrush(on);
    p.drawEllipse(QPointF(x0 + w + t * 0.9, bottom), t * 0.55, t * 0.55);
}

// Fills with a vertical gradient from the top colour to the bottom one and outlines.
void SetShading(QPainter& p, qreal top, qreal bottom, const char* from, const char* to, const char* outline,
                qreal width)
{
    QLinearGradient shade(0, top, 0, bottom);
    shade.setColorAt(0, QColor(from));
    shade.setColorAt(1, QColor(to));
    p.setPen(QPen(QColor(outline), width));
    p.setBrush(shade);
}

// IDR_MAINFRAME: a pole display head showing "8.8." with its four lamps, one lit.
void DrawApplication(QPainter& p)
{
    SetShading(p, 24, 232, "#4a5563", "#1d232b", "#11161c", 6);
    p.drawRoundedRect(QRectF(12, 36, 232, 184), 30, 30);

    SetShading(p, 60, 170, "#1a0604", "#070101", "#0a0d10", 4);
    p.drawRoundedRect(QRectF(34, 58, 188, 112), 12, 12);

    const QColor led("#ff3b24");
    SevenSegmentEight(p, QRectF(54, 74, 50, 80), led);
    SevenSegmentEight(p, QRectF(134, 74, 50, 80), led);

    const QColor lampOff("#5c4d3a");
    const QColor lampOn("#ffd23c");
    for (int i = 0; i < 4; ++i) {
        p.setPen(Qt::NoPen);
        p.setBrush(i == 1 ? lampOn : lampOff);
        p.drawRoundedRect(QRectF(44 + i * 46, 184, 30, 16), 5, 5);
    }
}

void DrawLamp(QPainter& p, bool lit)
{
    const QPointF c(128, 128);
    if (lit) {
        QRadialGradient glow(c, 128);
        glow.setColorAt(0.55, QColor(40, 220, 80, 150));
        glow.setColorAt(1.0, QColor(40, 220, 80, 0));
        p.setPen(Qt::NoPen);
        p.setBrush(glow);
        p.drawEllipse(c, 128, 128);
    }
    SetShading(p, 28, 228, "#e8ecef", "#6b7379", "#3b4146", 5);
    p.drawEllipse(c, 96, 96);

    QRadialGradient lens(QPointF(110, 100), 90);
    if (lit) {
        // A status light: green while the port is open...
        lens.setColorAt(0, QColor("#d8ffd8"));
        lens.setColorAt(0.35, QColor("#2fd94f"));
        lens.setColorAt(1, QColor("#0a6b1c"));
    } else {
        // ...and dark, unlit glass while it is not.
        lens.setColorAt(0, QColor("#5a605c"));
        lens.setColorAt(0.4, QColor("#2c302d"));
        lens.setColorAt(1, QColor("#0e100f"));
    }
    p.setPen(QPen(QColor("#0b0d0c"), 4));
    p.setBrush(lens);
    p.drawEllipse(c, 76, 76);

    QRadialGradient shine(QPointF(100, 88), 40);
    shine.setColorAt(0, QColor(255, 255, 255, lit ? 200 : 90));
    shine.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(shine);
    p.drawEllipse(QPointF(100, 88), 40, 30);
}

// IDI_LOGO: a round badge with a V drawn in display segments and a lit decimal point.
void DrawLogo(QPainter& p)
{
    SetShading(p, 8, 248, "#3f86d8", "#153e78", "#0e2b55", 8);
    p.drawEllipse(QPointF(128, 128), 118, 118);

    QPainterPath v;
    v.moveTo(62, 66);
    v.lineTo(98, 66);
    v.lineTo(128, 160);
    v.lineTo(158, 66);
    v.lineTo(194, 66);
    v.lineTo(146, 196);
    v.lineTo(110, 196);
    v.closeSubpath();
    p.setPen(Qt::NoPen);
    p.fillPath(v, QColor("#ffffff"));
    p.setBrush(QColor("#ff3b24"));
    p.drawEllipse(QPointF(192, 184), 17, 17);
}

bool Save(const QString& dir, const QString& name, int size, const Drawing& draw)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 256.0, size / 256.0);
    draw(p);
    p.end();
    const QString path = QDir(dir).filePath(QStringLiteral("%1_%2.png").arg(name).arg(size));
    if (!image.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    bool ok = true;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        ok &= Save(dir, "app", size, DrawApplication);
    for (int size : {16, 32, 48, 64}) {
        ok &= Save(dir, "port_open", size, [](QPainter& p) { DrawLamp(p, true); });
        ok &= Save(dir, "port_closed", size, [](QPainter& p) { DrawLamp(p, false); });
    }
    for (int size : {32, 64})
        ok &= Save(dir, "logo", size, DrawLogo);
    return ok ? 0 : 1;
}
