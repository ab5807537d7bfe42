// Draws the module's pictures: one per coordinate-system type, showing where the origin lies and
// which way the positive axes point, and the padlock of the read-only state. Run by
// draw_images.sh; the PNG files it writes are committed, so a normal build never runs it.

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>
#include <cstdio>

namespace {

const QColor XColor(0xc6, 0x28, 0x28);
const QColor YColor(0x2e, 0x7d, 0x32);
const QColor ZColor(0x15, 0x65, 0xc0);
const QColor Edge(0x8c, 0x8c, 0x8c);
const QColor Floor(0xe9, 0xe1, 0xcf);
const QColor Wall(0xf4, 0xf4, 0xf4);
const QColor SideWall(0xe6, 0xe6, 0xe6);

// Oblique view of the room: right and up map straight to the picture, depth (away from the
// viewer) runs up and to the right at half length.
struct View
{
    QPointF origin;

    QPointF at(double right, double up, double depth) const
    {
        const double k = 0.5;
        return origin + QPointF(right + depth * k * qCos(qDegreesToRadians(30.0)),
                                -(up + depth * k * qSin(qDegreesToRadians(30.0))));
    }
};

QPainter* begin(QImage& image, QPainter& p)
{
    p.begin(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    return &p;
}

// A point `distance` beyond the tip of the arrow from `from` to `to`.
QPointF beyond(QPointF from, QPointF to, double distance)
{
    return to + (to - from) / QLineF(from, to).length() * distance;
}

// An arrow with a white halo, so it stays readable over walls, screens and camera bodies, and
// its label on a light patch centred at `labelAt`.
void axis(QPainter& p, QPointF from, QPointF to, const QColor& color, const QString& label,
          QPointF labelAt)
{
    const QLineF line(from, to);
    const QPointF unit = (to - from) / line.length();
    const QPointF normal(-unit.y(), unit.x());
    const double head = 8.0, half = 3.6;
    const QPointF base = to - unit * head;
    QPolygonF tip;
    tip << to << base + normal * half << base - normal * half;

    for (int pass = 0; pass < 2; ++pass) {
        const bool halo = pass == 0;
        const QColor c = halo ? QColor(Qt::white) : color;
        p.setPen(QPen(c, halo ? 4.5 : 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(c);
        p.drawLine(from, base);
        p.drawPolygon(tip);
    }

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(11);
    font.setBold(true);
    p.setFont(font);
    const QRectF box(labelAt.x() - 11, labelAt.y() - 7, 22, 14);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 200));
    p.drawRoundedRect(box.adjusted(1, 1, -1, -1), 3, 3);
    p.setPen(color);
    p.drawText(box, Qt::AlignCenter, label);
}

void originDot(QPainter& p, QPointF at)
{
    p.setPen(QPen(Qt::white, 1.5));
    p.setBrush(Qt::black);
    p.drawEllipse(at, 3.2, 3.2);
}

void polygon(QPainter& p, const QColor& fill, std::initializer_list<QPointF> points)
{
    p.setPen(QPen(Edge, 1.0));
    p.setBrush(fill);
    p.drawPolygon(QPolygonF(QVector<QPointF>(points)));
}

// Floor, back wall and left wall of a room 110 wide, 90 deep and 64 high.
void room(QPainter& p, const View& v)
{
    const double w = 55, d = 90, h = 64;
    polygon(p, SideWall, {v.at(-w, 0, 0), v.at(-w, 0, d), v.at(-w, h, d), v.at(-w, h, 0)});
    polygon(p, Wall, {v.at(-w, 0, d), v.at(w, 0, d), v.at(w, h, d), v.at(-w, h, d)});
    polygon(p, Floor, {v.at(-w, 0, 0), v.at(w, 0, 0), v.at(w, 0, d), v.at(-w, 0, d)});
}

// The projection screen on the back wall.
void screen(QPainter& p, const View& v, double bottom, double top)
{
    const double w = 40, d = 90;
    QLinearGradient g(v.at(-w, top, d), v.at(w, bottom, d));
    g.setColorAt(0, QColor(0xd9, 0xea, 0xfb));
    g.setColorAt(1, QColor(0xa9, 0xcb, 0xef));
    p.setPen(QPen(QColor(0x2f, 0x4f, 0x74), 2.0));
    p.setBrush(g);
    p.drawPolygon(QPolygonF(QVector<QPointF>{v.at(-w, bottom, d), v.at(w, bottom, d),
                                             v.at(w, top, d), v.at(-w, top, d)}));
}

QImage normal()
{
    QImage image(166, 124, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p;
    begin(image, p);
    const View v{QPointF(62, 114)};
    room(p, v);
    // Origin on the floor in the middle of the room: the floor is the X-Y plane, Z points up.
    const QPointF o = v.at(0, 0, 30);
    const QPointF y = v.at(0, 0, 100), x = v.at(46, 0, 30), z = v.at(0, 52, 30);
    axis(p, o, y, YColor, QStringLiteral("+Y"), beyond(o, y, 11));
    axis(p, o, x, XColor, QStringLiteral("+X"), beyond(o, x, 12));
    axis(p, o, z, ZColor, QStringLiteral("+Z"), beyond(o, z, 10));
    originDot(p, o);
    return image;
}

QImage powerwall(bool standing)
{
    QImage image(166, 124, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p;
    begin(image, p);
    const View v{QPointF(62, 114)};
    room(p, v);
    screen(p, v, 12, 58);
    // Either in the middle of the screen or on the floor at the foot of it; X runs along the
    // wall, Y up, Z out of the wall towards the viewer.
    const QPointF o = standing ? v.at(0, 0, 90) : v.at(0, 35, 90);
    const QPointF z = v.at(0, 0, standing ? 10 : 16) + (o - v.at(0, 0, 90));
    const QPointF x = o + QPointF(40, 0), y = o + QPointF(0, standing ? -50 : -38);
    axis(p, o, z, ZColor, QStringLiteral("+Z"), beyond(o, z, 11));
    axis(p, o, x, XColor, QStringLiteral("+X"), beyond(o, x, 12));
    axis(p, o, y, YColor, QStringLiteral("+Y"), beyond(o, y, 10));
    originDot(p, o);
    return image;
}

void cameraBody(QPainter& p, QPointF centre, double width, double height)
{
    QLinearGradient g(centre.x(), centre.y() - height / 2, centre.x(), centre.y() + height / 2);
    g.setColorAt(0, QColor(0x70, 0x70, 0x70));
    g.setColorAt(1, QColor(0x38, 0x38, 0x38));
    p.setPen(QPen(QColor(0x22, 0x22, 0x22), 1.0));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(centre.x() - width / 2, centre.y() - height / 2, width, height), 3, 3);
}

void lens(QPainter& p, QPointF centre, double radius)
{
    p.setPen(QPen(QColor(0xb0, 0xb0, 0xb0), 1.5));
    p.setBrush(QColor(0x10, 0x10, 0x18));
    p.drawEllipse(centre, radius, radius);
    // Ring of infrared flashes around the lens.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xd0, 0x40, 0x40));
    for (int i = 0; i < 8; ++i) {
        const double a = i * M_PI / 4;
        p.drawEllipse(centre + QPointF(qCos(a), qSin(a)) * (radius + 2.6), 0.9, 0.9);
    }
    p.setBrush(QColor(255, 255, 255, 140));
    p.drawEllipse(centre + QPointF(-radius / 3, -radius / 3), radius / 3.5, radius / 3.5);
}

// Faint view cone of a camera looking into the room, towards the viewer.
void viewCone(QPainter& p, QPointF from, QPointF towards)
{
    const QPointF side(14, 0);
    p.setPen(QPen(QColor(0x90, 0xb4, 0xdc), 1.0, Qt::DashLine));
    p.setBrush(QColor(0xc8, 0xdc, 0xf2, 90));
    p.drawPolygon(QPolygonF(QVector<QPointF>{from, towards - side, towards + side}));
}

// Two separate cameras on a bar; the origin lies halfway between them.
QImage midCamera()
{
    QImage image(164, 124, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p;
    begin(image, p);
    const double y = 60;
    const QPointF left(24, y), right(140, y), o(82, y);
    viewCone(p, left, QPointF(40, 120));
    viewCone(p, right, QPointF(124, 120));
    p.setPen(QPen(QColor(0x60, 0x60, 0x60), 3.0));
    p.drawLine(left, right);
    for (QPointF c : {left, right}) {
        cameraBody(p, c, 26, 20);
        lens(p, c, 5);
    }
    // The X arrow ends short of the right camera, so its label sits above the tip.
    axis(p, o, o + QPointF(-26, 34), ZColor, QStringLiteral("+Z"), o + QPointF(-33, 45));
    axis(p, o, o + QPointF(32, 0), XColor, QStringLiteral("+X"), o + QPointF(28, -11));
    axis(p, o, o + QPointF(0, -40), YColor, QStringLiteral("+Y"), o + QPointF(0, -50));
    originDot(p, o);
    return image;
}

// One housing with two lenses; the origin lies halfway between the lenses.
QImage midCameraCompact()
{
    QImage image(164, 102, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p;
    begin(image, p);
    const double y = 50;
    const QPointF left(28, y), right(136, y), o(82, y);
    viewCone(p, left, QPointF(44, 102));
    viewCone(p, right, QPointF(120, 102));
    cameraBody(p, o, 140, 20);
    lens(p, left, 5.5);
    lens(p, right, 5.5);
    // The X arrow runs inside the housing; its label goes above the housing.
    axis(p, o, o + QPointF(-24, 30), ZColor, QStringLiteral("+Z"), o + QPointF(-31, 40));
    axis(p, o, o + QPointF(32, 0), XColor, QStringLiteral("+X"), o + QPointF(28, -18));
    axis(p, o, o + QPointF(0, -30), YColor, QStringLiteral("+Y"), o + QPointF(14, -34));
    originDot(p, o);
    return image;
}

QImage lock()
{
    QImage image(48, 48, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p;
    begin(image, p);

    // Shackle: a thick steel loop whose legs disappear into the body.
    QPainterPath shackle;
    shackle.moveTo(14.5, 24);
    shackle.lineTo(14.5, 15);
    shackle.arcTo(QRectF(14.5, 4.5, 19, 19), 180, -180);
    shackle.lineTo(33.5, 24);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x55, 0x55, 0x5a), 6.5, Qt::SolidLine, Qt::FlatCap));
    p.drawPath(shackle);
    p.setPen(QPen(QColor(0xc4, 0xc6, 0xcc), 3.0, Qt::SolidLine, Qt::FlatCap));
    p.drawPath(shackle);

    const QRectF body(7.5, 21.5, 33, 23);
    QLinearGradient g(body.topLeft(), body.bottomLeft());
    g.setColorAt(0, QColor(0xf7, 0xd7, 0x6a));
    g.setColorAt(1, QColor(0xc9, 0x93, 0x1f));
    p.setPen(QPen(QColor(0x7a, 0x55, 0x0c), 1.5));
    p.setBrush(g);
    p.drawRoundedRect(body, 4, 4);

    QPainterPath keyhole;
    keyhole.addEllipse(QPointF(24, 30.5), 3.4, 3.4);
    keyhole.moveTo(22.2, 32);
    keyhole.lineTo(21.2, 39.5);
    keyhole.lineTo(26.8, 39.5);
    keyhole.lineTo(25.8, 32);
    keyhole.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x3a, 0x28, 0x05));
    p.drawPath(keyhole.simplified());
    return image;
}

bool save(const QImage& image, const QString& folder, const char* name)
{
    const QString path = folder + QLatin1Char('/') + QLatin1String(name);
    if (image.save(path, "PNG"))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <images folder>\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    bool ok = save(normal(), folder, "normal.png");
    ok = save(powerwall(false), folder, "powerwall.png") && ok;
    ok = save(powerwall(true), folder, "powerwall_standing.png") && ok;
    ok = save(midCamera(), folder, "mid_camera.png") && ok;
    ok = save(midCameraCompact(), folder, "mid_camera_tsr3.png") && ok;
    ok = save(lock(), folder, "lock.png") && ok;
    return ok ? 0 : 1;
}
