#include "sim/segment_display.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include <algorithm>

#include "sim/rendering.h"

namespace sim {

namespace {

const QColor kLit(255, 46, 30);
const QColor kGlow(255, 40, 20, 80);
const QColor kUnlit(48, 9, 7);  // LED digits show their dark segments faintly
const QColor kGlass(6, 6, 6);
const QColor kBezel(34, 34, 36);
const QColor kLabel(165, 165, 165);

// A segment is a long hexagon pointed at both ends, so that neighbours meet in a mitre.
QPolygonF Horizontal(qreal cx, qreal cy, qreal len, qreal t)
{
    const qreal h = t / 2;
    return QPolygonF({{cx - len / 2, cy},
                      {cx - len / 2 + h, cy - h},
                      {cx + len / 2 - h, cy - h},
                      {cx + len / 2, cy},
                      {cx + len / 2 - h, cy + h},
                      {cx - len / 2 + h, cy + h}});
}

QPolygonF Vertical(qreal cx, qreal cy, qreal len, qreal t)
{
    const qreal h = t / 2;
    return QPolygonF({{cx, cy - len / 2},
                      {cx + h, cy - len / 2 + h},
                      {cx + h, cy + len / 2 - h},
                      {cx, cy + len / 2},
                      {cx - h, cy + len / 2 - h},
                      {cx - h, cy - len / 2 + h}});
}

void DrawLit(QPainter& p, const QPainterPath& path, qreal t, bool glow = true)
{
    if (glow)
        p.strokePath(path, QPen(kGlow, t * 0.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.fillPath(path, kLit);
}

// One digit in a box w by h whose bottom left corner is the painter's origin. Without the
// glow the segments of a small digit stay apart.
void DrawDigit(QPainter& p, const Cell& cell, qreal w, qreal h, bool glow = true)
{
    const qreal t = w * 0.17;
    const qreal gap = t * 0.14;
    const qreal x0 = t / 2, x1 = w - t / 2;
    const qreal y0 = -h + t / 2, ym = -h / 2, y1 = -t / 2;
    const qreal xm = (x0 + x1) / 2;
    const qreal hl = x1 - x0 - 2 * gap;
    const qreal vl = ym - y0 - 2 * gap;
    const QPolygonF segments[7] = {
        Horizontal(xm, y0, hl, t),           // a
        Vertical(x1, (y0 + ym) / 2, vl, t),  // b
        Vertical(x1, (ym + y1) / 2, vl, t),  // c
        Horizontal(xm, y1, hl, t),           // d
        Vertical(x0, (ym + y1) / 2, vl, t),  // e
        Vertical(x0, (y0 + ym) / 2, vl, t),  // f
        Horizontal(xm, ym, hl, t),           // g
    };
    const std::uint8_t lit = SegmentsOf(cell.ch);

    QPainterPath on, off;
    for (int s = 0; s < 7; ++s) {
        QPainterPath& path = (lit & (1u << s)) ? on : off;
        path.addPolygon(segments[s]);
        path.closeSubpath();
    }
    QPainterPath point;
    point.addEllipse(QPointF(x1 + t * 1.25, y1), t * 0.62, t * 0.62);
    (cell.point ? on : off).addPath(point);

    p.fillPath(off, kUnlit);
    DrawLit(p, on, t, glow);
}

}  // namespace

SegmentDisplay::SegmentDisplay(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setFocusPolicy(Qt::StrongFocus);  // a screen reader reaches it with Tab, and reads its name
    for (int k = 0; k < kLampCount; ++k)
        m_lampNames[static_cast<std::size_t>(k)] = QString::fromLatin1(LampName(static_cast<Lamp>(k)));
}

QIcon SegmentDisplay::Icon()
{
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(kBezel);
        p.drawRoundedRect(QRectF(0, 0, size, size), size * 0.16, size * 0.16);
        const qreal border = std::max<qreal>(1, size * 0.07);
        p.setBrush(kGlass);
        p.drawRoundedRect(QRectF(border, border, size - 2 * border, size - 2 * border), size * 0.1, size * 0.1);
        // Below 32 pixels no point, no slant and no glow: each segment keeps pixels of its own.
        const bool small = size < 32;
        const qreal h = size * (small ? 0.8 : 0.74), w = h * (small ? 0.66 : 0.62);
        p.translate((size - w * (small ? 1.0 : 1.12)) / 2, (size + h) / 2);
        if (!small)
            p.shear(-0.07, 0);
        DrawDigit(p, Cell{'8', !small}, w, h, !small);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

void SegmentDisplay::SetLampNames(const std::array<QString, kLampCount>& names)
{
    m_lampNames = names;
    update();
}

void SegmentDisplay::SetFace(const Cells& cells, const std::array<bool, kLampCount>& lamps)
{
    if (cells == m_cells && lamps == m_lamps)
        return;
    m_cells = cells;
    m_lamps = lamps;
    update();
}

// In lines of the window's font, so that the face grows with the font on a screen of high
// density; the digits keep their proportions at any size (paintEvent).
QSize SegmentDisplay::sizeHint() const
{
    const int line = fontMetrics().height();
    return {line * 30, line * 11};
}
QSize SegmentDisplay::minimumSizeHint() const
{
    const int line = fontMetrics().height();
    return {line * 14, line * 5};
}

void SegmentDisplay::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), palette().window());

    const qreal side = std::min(width(), height());
    const QRectF outer = QRectF(rect()).adjusted(side * 0.02, side * 0.02, -side * 0.02, -side * 0.02);
    p.setPen(Qt::NoPen);
    p.setBrush(kBezel);
    p.drawRoundedRect(outer, side * 0.06, side * 0.06);
    const qreal border = side * 0.05;
    const QRectF glass = outer.adjusted(border, border, -border, -border);
    p.setBrush(kGlass);
    p.drawRoundedRect(glass, side * 0.025, side * 0.025);

    // The digits take the upper part of the glass, the lamps and their labels the rest.
    const QRectF digitsArea(glass.left(), glass.top(), glass.width(), glass.height() * 0.68);
    const QRectF lampsArea(glass.left(), digitsArea.bottom(), glass.width(), glass.height() - digitsArea.height());

    const qreal pitch = digitsArea.width() * 0.94 / kPositions;
    qreal h = digitsArea.height() * 0.76;
    qreal w = h * 0.55;
    if (w > pitch * 0.66) {
        w = pitch * 0.66;
        h = w / 0.55;
    }
    const qreal left = digitsArea.left() + (digitsArea.width() - pitch * kPositions) / 2 + (pitch - w * 1.2) / 2;
    const qreal bottom = digitsArea.top() + (digitsArea.height() + h) / 2 + digitsArea.height() * 0.04;
    for (int i = 0; i < kPositions; ++i) {
        p.save();
        p.translate(left + i * pitch, bottom);
        p.shear(-0.07, 0);  // the slant of LED digits
        DrawDigit(p, m_cells[static_cast<std::size_t>(i)], w, h);
        p.restore();
    }

    QFont font = p.font();
    font.setPixelSize(std::max(9, static_cast<int>(lampsArea.height() * 0.24)));
    font.setBold(true);
    p.setFont(font);
    const qreal lampW = glass.width() * 0.09, lampH = std::max<qreal>(4, lampsArea.height() * 0.16);
    for (int k = 0; k < kLampCount; ++k) {
        const qreal cx = glass.left() + glass.width() * (2 * k + 1) / (2 * kLampCount);
        const QRectF lamp(cx - lampW / 2, lampsArea.top() + lampsArea.height() * 0.12, lampW, lampH);
        QPainterPath path;
        path.addRoundedRect(lamp, lampH / 3, lampH / 3);
        if (m_lamps[static_cast<std::size_t>(k)]) {
            DrawLit(p, path, lampH);
        } else {
            p.fillPath(path, kUnlit);
        }
        p.setPen(kLabel);
        const QRectF label(cx - glass.width() / 8, lamp.bottom() + lampsArea.height() * 0.08, glass.width() / 4,
                           lampsArea.height() * 0.4);
        p.drawText(label, Qt::AlignHCenter | Qt::AlignTop, m_lampNames[static_cast<std::size_t>(k)]);
        p.setPen(Qt::NoPen);
    }
}

}  // namespace sim
