// Draws the program's four icons into a folder (normally resources/):
//   app.ico                one 128 x 128 image, 32 bits per pixel: a PLC with a network badge
//   setting.png            33 x 33: a gear
//   language.png           33 x 33: a globe
//   toolbarbackground.png  12 x 25: a light vertical gradient
// and the same PLC for the desktop's icon theme, at the sizes menus and docks ask for:
//   hicolor/NxN/apps/kvrctl700.png
// Every shape is drawn in code, so the files can be redrawn at any time and come out the same.

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QTransform>

#include <cstdio>

namespace {

QImage transparentImage(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

QPainterPath roundedRect(const QRectF &rect, qreal radius)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

QPainterPath circle(QPointF centre, qreal radius)
{
    QPainterPath path;
    path.addEllipse(centre, radius, radius);
    return path;
}

// A row of screw terminals across the module.
void drawTerminalRow(QPainter &p, qreal top)
{
    const QRectF strip(22, top, 84, 14);
    QLinearGradient stripFill(strip.topLeft(), strip.bottomLeft());
    stripFill.setColorAt(0, QColor(0xe4, 0xe8, 0xec));
    stripFill.setColorAt(1, QColor(0xbd, 0xc4, 0xcc));
    p.setPen(QPen(QColor(0x1c, 0x24, 0x2e), 1));
    p.setBrush(stripFill);
    p.drawPath(roundedRect(strip, 3));

    for (int i = 0; i < 7; ++i) {
        const QPointF centre(28 + i * 12, top + 7);
        QRadialGradient head(centre - QPointF(1, 1), 4);
        head.setColorAt(0, QColor(0xb0, 0xba, 0xc5));
        head.setColorAt(1, QColor(0x5f, 0x6b, 0x78));
        p.setPen(QPen(QColor(0x3a, 0x44, 0x50), 0.8));
        p.setBrush(head);
        p.drawEllipse(centre, 3.6, 3.6);
        p.setPen(QPen(QColor(0x2a, 0x32, 0x3c), 1.1, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(centre + QPointF(-2, 2), centre + QPointF(2, -2));
    }
}

void drawLed(QPainter &p, QPointF centre, const QColor &colour)
{
    QColor glow = colour;
    glow.setAlpha(70);
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(centre, 5.5, 5.5);

    QRadialGradient lens(centre - QPointF(1, 1), 3.5);
    lens.setColorAt(0, colour.lighter(170));
    lens.setColorAt(1, colour);
    p.setBrush(lens);
    p.drawEllipse(centre, 3.4, 3.4);
}

void drawEthernetPort(QPainter &p, const QRectF &rect)
{
    p.setPen(QPen(QColor(0x8d, 0x99, 0xa6), 1));
    p.setBrush(QColor(0x0b, 0x10, 0x16));
    p.drawRoundedRect(rect, 1.5, 1.5);

    // The jack's opening: wide at the top, the latch notch below.
    QPainterPath opening;
    const qreal l = rect.left() + 3, r = rect.right() - 3, t = rect.top() + 3, b = rect.bottom() - 3;
    const qreal notchL = rect.center().x() - 3.5, notchR = rect.center().x() + 3.5;
    opening.moveTo(l, t);
    opening.lineTo(r, t);
    opening.lineTo(r, b - 4);
    opening.lineTo(notchR, b - 4);
    opening.lineTo(notchR, b);
    opening.lineTo(notchL, b);
    opening.lineTo(notchL, b - 4);
    opening.lineTo(l, b - 4);
    opening.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x24, 0x2c, 0x36));
    p.drawPath(opening);

    p.setBrush(QColor(0xe0, 0xb0, 0x40));
    const qreal pitch = (r - l - 2) / 8;
    for (int i = 0; i < 8; ++i)
        p.drawRect(QRectF(l + 1.5 + i * pitch, t, pitch * 0.55, 3));
}

// A blue round badge with three linked nodes: the device sits on a network.
void drawNetworkBadge(QPainter &p, QPointF centre, qreal radius)
{
    QRadialGradient fill(centre - QPointF(radius / 3, radius / 3), radius * 1.3);
    fill.setColorAt(0, QColor(0x4f, 0xa8, 0xf0));
    fill.setColorAt(1, QColor(0x15, 0x65, 0xc0));
    p.setPen(QPen(Qt::white, 3));
    p.setBrush(fill);
    p.drawEllipse(centre, radius, radius);

    const QPointF top = centre + QPointF(0, -radius * 0.45);
    const QPointF left = centre + QPointF(-radius * 0.48, radius * 0.4);
    const QPointF right = centre + QPointF(radius * 0.48, radius * 0.4);
    const QPointF hub = centre + QPointF(0, radius * 0.05);
    p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(top, hub);
    p.drawLine(hub, QPointF(left.x(), hub.y()));
    p.drawLine(hub, QPointF(right.x(), hub.y()));
    p.drawLine(QPointF(left.x(), hub.y()), left);
    p.drawLine(QPointF(right.x(), hub.y()), right);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    const qreal node = radius * 0.17;
    p.drawRoundedRect(QRectF(top - QPointF(node * 1.3, node), QSizeF(node * 2.6, node * 2)), 1, 1);
    p.drawRoundedRect(QRectF(left - QPointF(node * 1.3, node), QSizeF(node * 2.6, node * 2)), 1, 1);
    p.drawRoundedRect(QRectF(right - QPointF(node * 1.3, node), QSizeF(node * 2.6, node * 2)), 1, 1);
}

// The shapes are laid out on a 128 x 128 grid and scaled to `size`.
QImage drawApp(int size)
{
    QImage image = transparentImage(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 128.0, size / 128.0);

    // Soft shadow under the module.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawPath(roundedRect(QRectF(13, 17, 104, 100), 11));

    const QRectF body(10, 12, 104, 100);
    QLinearGradient bodyFill(body.topLeft(), body.bottomLeft());
    bodyFill.setColorAt(0, QColor(0x56, 0x67, 0x7b));
    bodyFill.setColorAt(1, QColor(0x2b, 0x36, 0x44));
    p.setPen(QPen(QColor(0x1a, 0x21, 0x2a), 1.5));
    p.setBrush(bodyFill);
    p.drawPath(roundedRect(body, 10));

    // A light edge along the top of the casing.
    p.setPen(QPen(QColor(255, 255, 255, 60), 1.2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(roundedRect(body.adjusted(1.5, 1.5, -1.5, -1.5), 9));

    drawTerminalRow(p, 20);
    drawTerminalRow(p, 90);

    // The front panel with status LEDs, their captions and the network jack.
    const QRectF panel(22, 42, 84, 40);
    p.setPen(QPen(QColor(0x10, 0x16, 0x1d), 1));
    p.setBrush(QColor(0x1b, 0x24, 0x2f));
    p.drawPath(roundedRect(panel, 4));

    const QColor ledColours[] = {QColor(0x3d, 0xdc, 0x84), QColor(0x3d, 0xdc, 0x84),
                                 QColor(0xff, 0xb3, 0x00)};
    for (int i = 0; i < 3; ++i) {
        const qreal y = 51 + i * 11;
        drawLed(p, QPointF(32, y), ledColours[i]);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x6b, 0x7a, 0x8c));
        p.drawRoundedRect(QRectF(40, y - 1.2, 20 - i * 4, 2.4), 1.2, 1.2);
    }
    drawEthernetPort(p, QRectF(72, 50, 26, 22));

    drawNetworkBadge(p, QPointF(100, 100), 21);
    return image;
}

QImage drawSetting()
{
    QImage image = transparentImage(33, 33);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(16.5, 16.5);

    QPainterPath gear = circle(centre, 11.2);
    const int teeth = 8;
    for (int i = 0; i < teeth; ++i) {
        QPainterPath tooth;
        tooth.addRoundedRect(QRectF(-2.9, -15.5, 5.8, 7), 1.2, 1.2);
        const QTransform place = QTransform().translate(centre.x(), centre.y()).rotate(i * 360.0 / teeth);
        gear = gear.united(place.map(tooth));
    }
    gear = gear.subtracted(circle(centre, 4.6));

    QLinearGradient steel(0, 1, 0, 32);
    steel.setColorAt(0, QColor(0x9a, 0xa7, 0xb5));
    steel.setColorAt(1, QColor(0x4a, 0x57, 0x66));
    p.setPen(QPen(QColor(0x33, 0x3d, 0x48), 1));
    p.setBrush(steel);
    p.drawPath(gear);

    // A groove around the hub gives the gear some depth.
    p.setPen(QPen(QColor(255, 255, 255, 90), 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(centre, 7.6, 7.6);
    return image;
}

QImage drawLanguage()
{
    QImage image = transparentImage(33, 33);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(16.5, 16.5);
    const qreal radius = 14.5;

    QRadialGradient sea(centre - QPointF(4.5, 5), radius * 1.5);
    sea.setColorAt(0, QColor(0x7f, 0xcf, 0xff));
    sea.setColorAt(0.55, QColor(0x2e, 0x8b, 0xe0));
    sea.setColorAt(1, QColor(0x14, 0x5a, 0xb0));
    p.setPen(Qt::NoPen);
    p.setBrush(sea);
    p.drawEllipse(centre, radius, radius);

    // Meridians and parallels, kept inside the globe.
    p.setClipPath(circle(centre, radius - 0.5));
    p.setPen(QPen(QColor(255, 255, 255, 210), 1.1));
    p.setBrush(Qt::NoBrush);
    p.drawLine(QPointF(centre.x(), centre.y() - radius), QPointF(centre.x(), centre.y() + radius));
    p.drawEllipse(centre, 6.5, radius);
    p.drawLine(QPointF(centre.x() - radius, centre.y()), QPointF(centre.x() + radius, centre.y()));
    for (qreal dy : {-7.5, 7.5})
        p.drawLine(QPointF(centre.x() - radius, centre.y() + dy),
                   QPointF(centre.x() + radius, centre.y() + dy));
    p.setClipping(false);

    p.setPen(QPen(QColor(0x0d, 0x3f, 0x85), 1));
    p.drawEllipse(centre, radius, radius);
    return image;
}

QImage drawToolbarBackground()
{
    QImage image = transparentImage(12, 25);
    QPainter p(&image);
    QLinearGradient shade(0, 0, 0, 25);
    shade.setColorAt(0, QColor(0xfb, 0xfc, 0xfd));
    shade.setColorAt(1, QColor(0xe1, 0xe5, 0xea));
    p.fillRect(image.rect(), shade);
    p.fillRect(QRect(0, 24, 12, 1), QColor(0xc8, 0xce, 0xd5));
    return image;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (bytes.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// The image in a file format Qt writes: "PNG", or "ICO" (one 32-bit image with its mask).
QByteArray imageFile(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.convertToFormat(QImage::Format_ARGB32).save(&buffer, format))
        std::fprintf(stderr, "cannot encode an image as %s\n", format);
    return bytes;
}

// The sizes of the freedesktop hicolor theme that desktops look up for an application.
constexpr int ThemeIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};

bool writeThemeIcons(const QDir &folder)
{
    for (int size : ThemeIconSizes) {
        const QString apps = QStringLiteral("hicolor/%1x%1/apps").arg(size);
        if (!folder.mkpath(apps)) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(folder.filePath(apps)));
            return false;
        }
        if (!writeFile(folder.filePath(apps + QLatin1String("/kvrctl700.png")), imageFile(drawApp(size), "PNG")))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const bool written = writeFile(folder.filePath(QStringLiteral("app.ico")), imageFile(drawApp(128), "ICO"))
                         && writeFile(folder.filePath(QStringLiteral("setting.png")), imageFile(drawSetting(), "PNG"))
                         && writeFile(folder.filePath(QStringLiteral("language.png")), imageFile(drawLanguage(), "PNG"))
                         && writeFile(folder.filePath(QStringLiteral("toolbarbackground.png")),
                                      imageFile(drawToolbarBackground(), "PNG"))
                         && writeThemeIcons(folder);
    return written ? 0 : 1;
}
