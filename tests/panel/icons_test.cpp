// The program's icons decode a picture only when it is first drawn; what they draw and the
// sizes they report are those of the icon Qt makes itself from the same files.

#include <QDir>
#include <QPainter>
#include <QTest>
#include <algorithm>
#include <vector>

#include "resources/icons.h"
#include "resources/resource_ids.h"

namespace {

QImage Painted(const QIcon& icon, const QSize& size, QIcon::Mode mode, QIcon::State state)
{
    QImage image(320, 320, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        icon.paint(&painter, QRect(QPoint(3, 5), size), Qt::AlignCenter, mode, state);
    }
    return image;
}

}  // namespace

class IconsTest : public QObject {
    Q_OBJECT

private slots:
    void drawLikeQtsOwnIcon_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("name");  // of its files, "NAME_SIDE.png"
        QTest::newRow("program") << IDR_MAINFRAME << QStringLiteral("app");
        QTest::newRow("port open") << IDI_PORT_OPEN << QStringLiteral("port_open");
        QTest::newRow("port closed") << IDI_PORT_CLOSED << QStringLiteral("port_closed");
        QTest::newRow("logo") << IDI_LOGO << QStringLiteral("logo");
    }

    void drawLikeQtsOwnIcon()
    {
        QFETCH(int, id);
        QFETCH(QString, name);
        // Qt's own icon of every picture compiled in under the name, smallest first.
        std::vector<int> sides;
        for (const QString& file : QDir(QStringLiteral(":/icons")).entryList({name + QStringLiteral("_*.png")}))
            sides.push_back(file.mid(name.size() + 1).chopped(4).toInt());
        std::sort(sides.begin(), sides.end());
        QVERIFY(!sides.empty());
        QIcon own;
        for (const int side : sides)
            own.addFile(QStringLiteral(":/icons/%1_%2.png").arg(name).arg(side), QSize(side, side));
        QIcon icon = res::LoadIcon(id);
        QVERIFY(!icon.isNull());
        // Between the sizes, beyond them, not square, and at a device pixel ratio of two.
        const QSize sizes[] = {{1, 1}, {20, 20}, {24, 30}, {32, 32}, {33, 33}, {40, 12}, {100, 100}, {300, 300}};
        for (const QIcon::Mode mode : {QIcon::Normal, QIcon::Disabled, QIcon::Active, QIcon::Selected}) {
            for (const QIcon::State state : {QIcon::Off, QIcon::On}) {
                QCOMPARE(icon.availableSizes(mode, state), own.availableSizes(mode, state));
                for (const QSize& size : sizes) {
                    QCOMPARE(icon.actualSize(size, mode, state), own.actualSize(size, mode, state));
                    for (const qreal ratio : {1.0, 2.0}) {
                        QCOMPARE(icon.pixmap(size, ratio, mode, state).toImage(),
                                 own.pixmap(size, ratio, mode, state).toImage());
                    }
                    QCOMPARE(Painted(icon, size, mode, state), Painted(own, size, mode, state));
                }
            }
        }
        // A picture added joins the others.
        QPixmap added(20, 20);
        added.fill(Qt::red);
        icon.addPixmap(added);
        own.addPixmap(added);
        QCOMPARE(icon.availableSizes(), own.availableSizes());
        QCOMPARE(icon.actualSize(QSize(20, 20)), QSize(20, 20));
        QCOMPARE(icon.pixmap(20).toImage(), added.toImage());
    }
};

QTEST_MAIN(IconsTest)
#include "icons_test.moc"
