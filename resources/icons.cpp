#include "resources/icons.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QString>
#include <algorithm>
#include <initializer_list>
#include <map>
#include <vector>

#include "resources/resource_ids.h"

namespace res {
namespace {

// Qt reads and decodes every picture of an icon as the icon is made, though a window shows
// one or two sizes of it, or none where nothing draws its title bar: the program's icon
// alone has seven, up to 256 pixels, and the panel would decode them before its window
// shows. This engine answers what needs no picture (the sizes there are, the size drawn)
// from the sizes of the files, and decodes a picture when it is first drawn, the one Qt's
// own engine would draw; every answer is that engine's.
class OnDemandIconEngine : public QIconEngine {
public:
    OnDemandIconEngine(const char* name, std::initializer_list<int> sizes) : m_name(name), m_sizes(sizes) {}

    QIconEngine* clone() const override { return new OnDemandIconEngine(*this); }
    bool isNull() override { return m_sizes.empty(); }

    // The picture Qt's engine would choose, from an icon of that picture alone: Qt scales
    // it and makes the other modes' pictures from it as it does in the whole icon.
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        if (m_changed)
            return Loaded().pixmap(size, 1.0, mode, state);
        const int side = Chosen(size);
        QIcon& picture = m_pictures[side];
        if (picture.isNull())
            picture.addFile(File(side), QSize(side, side));
        return picture.pixmap(size, 1.0, mode, state);
    }

    // The pictures are of one scale, so the scale chooses none of them.
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal) override
    {
        return pixmap(size, mode, state);
    }

    // As Qt's pixmap engine draws: the picture for the rectangle in device pixels.
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        const QPaintDevice* device = painter->device();
        const qreal ratio = device ? device->devicePixelRatio() : qApp->devicePixelRatio();
        painter->drawPixmap(rect, pixmap(rect.size() * ratio, mode, state));
    }

    // As Qt's pixmap engine chooses: the smallest picture that covers the size, else the
    // largest, never scaled up. The pictures are of one mode and state, which every other
    // falls back to.
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        if (m_changed)
            return Loaded().actualSize(size, mode, state);
        const int side = Chosen(size);
        QSize actual(side, side);
        if (side > size.width() || side > size.height())
            actual.scale(size, Qt::KeepAspectRatio);
        return actual;
    }

    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override
    {
        if (m_changed)
            return Loaded().availableSizes(mode, state);
        QList<QSize> sizes;
        if (mode == QIcon::Normal && state == QIcon::Off) {
            for (const int s : m_sizes)
                sizes.append(QSize(s, s));
        }
        return sizes;
    }

    void addPixmap(const QPixmap& pixmap, QIcon::Mode mode, QIcon::State state) override
    {
        Loaded().addPixmap(pixmap, mode, state);
        m_changed = true;
    }

    void addFile(const QString& fileName, const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        Loaded().addFile(fileName, size, mode, state);
        m_changed = true;
    }

private:
    QString File(int side) const { return QStringLiteral(":/icons/%1_%2.png").arg(QLatin1String(m_name)).arg(side); }

    // The side of the picture Qt's engine takes for the size: the smallest that covers it,
    // else the largest.
    int Chosen(const QSize& size) const
    {
        const auto area = [](int side) { return qint64(side) * side; };
        const qint64 wanted = qint64(size.width()) * size.height();
        int side = 0;
        for (const int s : m_sizes) {
            if (area(s) >= wanted && (side == 0 || s < side))
                side = s;
        }
        if (side == 0 && !m_sizes.empty())
            side = *std::max_element(m_sizes.begin(), m_sizes.end());
        return side;
    }

    // The whole icon as Qt makes it, for pictures added to it.
    QIcon& Loaded()
    {
        if (m_icon.isNull()) {
            for (const int side : m_sizes)
                m_icon.addFile(File(side), QSize(side, side));
        }
        return m_icon;
    }

    const char* m_name;
    std::vector<int> m_sizes;
    std::map<int, QIcon> m_pictures;  // by side, each made when it is first drawn
    QIcon m_icon;                     // the whole icon, once pictures are added
    bool m_changed = false;           // pictures added: the whole icon answers everything
};

QIcon FromSizes(const char* name, std::initializer_list<int> sizes)
{
    return QIcon(new OnDemandIconEngine(name, sizes));
}

}  // namespace

QIcon LoadIcon(int id)
{
    // One icon for each id: the application's window icon and the panel's, the lamp of the
    // template and the panel's, share their pictures, so that each is decoded once (a
    // platform that sends every size of the window icon asks for both icons' pictures). The
    // pictures go with the application.
    static std::map<int, QIcon> made;
    if (const auto found = made.find(id); found != made.end())
        return found->second;
    QIcon icon;
    switch (id) {
    case IDR_MAINFRAME: icon = FromSizes("app", {16, 24, 32, 48, 64, 128, 256}); break;
    case IDI_PORT_OPEN: icon = FromSizes("port_open", {16, 32, 48, 64}); break;
    case IDI_PORT_CLOSED: icon = FromSizes("port_closed", {16, 32, 48, 64}); break;
    case IDI_LOGO: icon = FromSizes("logo", {32, 64}); break;
    default: return {};
    }
    if (made.empty())
        qAddPostRoutine([] { made.clear(); });
    made.emplace(id, icon);
    return icon;
}

}  // namespace res
