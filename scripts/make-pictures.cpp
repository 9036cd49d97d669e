// Draws the program's pictures (splash, logo, button and menu pictures) into
// src/app/pictures/. Run once by hand; the PNGs are committed, so building
// the program never needs this or a display:
//   g++ -std=c++20 -fPIC scripts/make-pictures.cpp $(pkg-config --cflags --libs Qt6Gui) -o /tmp/make-pictures
//   QT_QPA_PLATFORM=offscreen /tmp/make-pictures src/app/pictures data/icons
// The second folder receives the desktop icon in the hicolor sizes
// (data/icons/hicolor/<n>x<n>/apps/corvina.png).
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

QString dir;

void save(const QImage& img, const char* name)
{
    if (!img.save(dir + "/" + name))
        std::fprintf(stderr, "cannot write %s\n", name);
}

// A stylised crow: body, head, beak, wing and tail.
void drawBird(QPainter& p, QPointF at, double s, QColor body)
{
    p.save();
    p.translate(at);
    p.scale(s, s);
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    QPainterPath tail;
    tail.moveTo(-30, 4);
    tail.lineTo(-62, -6);
    tail.lineTo(-58, 14);
    tail.closeSubpath();
    p.drawPath(tail);
    p.drawEllipse(QRectF(-36, -14, 60, 34));
    p.drawEllipse(QRectF(12, -28, 28, 26));
    p.setBrush(QColor(240, 190, 40));
    QPainterPath beak;
    beak.moveTo(38, -18);
    beak.lineTo(56, -12);
    beak.lineTo(38, -9);
    beak.closeSubpath();
    p.drawPath(beak);
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(26, -22, 7, 7));
    p.setBrush(Qt::black);
    p.drawEllipse(QRectF(28.5, -20, 3, 3));
    p.setBrush(body.darker(150));
    QPainterPath wing;
    wing.moveTo(-20, -6);
    wing.quadTo(0, -40, 14, -4);
    wing.quadTo(0, 6, -20, -6);
    p.drawPath(wing);
    p.restore();
}

QImage canvas(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

void icon(const char* name, const std::function<void(QPainter&)>& draw)
{
    QImage img = canvas(24, 24);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    draw(p);
    p.end();
    save(img, name);
}

void magnifier(QPainter& p)
{
    p.setPen(QPen(QColor(20, 40, 90), 3));
    p.setBrush(QColor(200, 225, 255));
    p.drawEllipse(QRectF(3, 3, 12, 12));
    p.setPen(QPen(QColor(120, 70, 20), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(14, 14), QPointF(21, 21));
}

void envelope(QPainter& p)
{
    p.setPen(QPen(QColor(40, 40, 40), 1.5));
    p.setBrush(QColor(250, 240, 200));
    p.drawRect(QRectF(2, 5, 20, 14));
    p.drawPolyline(QPolygonF({QPointF(2, 5), QPointF(12, 13), QPointF(22, 5)}));
}

void stopSign(QPainter& p, QRectF r)
{
    QPolygonF oct;
    for (int i = 0; i < 8; ++i) {
        const double a = (22.5 + 45 * i) * M_PI / 180;
        oct << r.center() + QPointF(std::cos(a) * r.width() / 2, std::sin(a) * r.height() / 2);
    }
    p.setPen(QPen(Qt::white, 1));
    p.setBrush(QColor(200, 20, 20));
    p.drawPolygon(oct);
    p.setPen(QPen(Qt::white, 2));
    p.drawLine(r.center() + QPointF(-r.width() / 5, 0), r.center() + QPointF(r.width() / 5, 0));
}

void disk(QPainter& p)
{
    p.setPen(QPen(QColor(20, 20, 60), 1));
    p.setBrush(QColor(40, 80, 170));
    p.drawRect(QRectF(3, 3, 18, 18));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(6, 3, 12, 7));
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(QRectF(7, 14, 10, 7));
}

void folder(QPainter& p)
{
    p.setPen(QPen(QColor(120, 80, 0), 1));
    p.setBrush(QColor(240, 200, 80));
    p.drawRect(QRectF(2, 8, 20, 13));
    p.drawRect(QRectF(2, 5, 8, 3));
}

void cross(QPainter& p)
{
    p.setPen(QPen(QColor(200, 20, 20), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5, 5), QPointF(19, 19));
    p.drawLine(QPointF(19, 5), QPointF(5, 19));
}

void tickBox(QPainter& p, bool ticked)
{
    p.setPen(QPen(QColor(30, 30, 30), 1.5));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(4, 4, 16, 16));
    if (ticked) {
        p.setPen(QPen(QColor(0, 140, 0), 3, Qt::SolidLine, Qt::RoundCap));
        p.drawPolyline(QPolygonF({QPointF(7, 12), QPointF(11, 17), QPointF(18, 6)}));
    }
}

void globe(QPainter& p)
{
    p.setPen(QPen(QColor(0, 60, 120), 1.5));
    p.setBrush(QColor(120, 190, 240));
    p.drawEllipse(QRectF(3, 3, 18, 18));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(8, 3, 8, 18));
    p.drawLine(QPointF(3, 12), QPointF(21, 12));
}

void letterIcon(QPainter& p, const QString& text, QColor bg)
{
    p.setPen(Qt::NoPen);
    p.setBrush(bg);
    p.drawEllipse(QRectF(2, 2, 20, 20));
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(15);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRectF(2, 2, 20, 20), Qt::AlignCenter, text);
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");

    {   // Splash, 409 x 208.
        QImage img(409, 208, QImage::Format_RGB32);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient g(0, 0, 0, 208);
        g.setColorAt(0, QColor(0, 51, 102));
        g.setColorAt(1, QColor(101, 132, 163));
        p.fillRect(img.rect(), g);
        p.setPen(QPen(QColor(255, 255, 255, 60), 1));
        for (int x = -208; x < 409; x += 18)
            p.drawLine(x, 208, x + 208, 0);
        drawBird(p, QPointF(95, 112), 1.6, QColor(15, 15, 25));
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setBold(true);
        f.setPixelSize(46);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRectF(180, 50, 225, 60), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Corvina"));
        f.setBold(false);
        f.setPixelSize(15);
        p.setFont(f);
        p.drawText(QRectF(182, 108, 225, 24), Qt::AlignLeft, QStringLiteral("finds e-mail addresses"));
        p.drawText(QRectF(182, 128, 225, 24), Qt::AlignLeft, QStringLiteral("on the web pages you choose"));
        f.setPixelSize(12);
        p.setFont(f);
        p.setPen(QColor(220, 230, 240));
        p.drawText(QRectF(0, 180, 400, 20), Qt::AlignRight, QStringLiteral("version 1.3  -  loading..."));
        p.setPen(QPen(Qt::white, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRectF(1, 1, 407, 206));
        p.end();
        save(img, "splash.png");
    }
    {   // Logo, 338 x 62.
        QImage img(338, 62, QImage::Format_RGB32);
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient g(0, 0, 338, 0);
        g.setColorAt(0, QColor(0, 51, 102));
        g.setColorAt(1, QColor(60, 100, 150));
        p.fillRect(img.rect(), g);
        drawBird(p, QPointF(40, 36), 0.75, QColor(10, 10, 20));
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setBold(true);
        f.setPixelSize(34);
        p.setFont(f);
        p.setPen(Qt::white);
        p.drawText(QRectF(92, 4, 240, 40), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Corvina"));
        f.setBold(false);
        f.setPixelSize(12);
        p.setFont(f);
        p.setPen(QColor(210, 225, 240));
        p.drawText(QRectF(94, 42, 240, 16), Qt::AlignLeft, QStringLiteral("e-mail address finder"));
        p.end();
        save(img, "logo.png");
    }

    // Button pictures.
    icon("search.png", magnifier);
    icon("next.png", [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0, 130, 0));
        p.drawPolygon(QPolygonF({QPointF(4, 4), QPointF(14, 12), QPointF(4, 20)}));
        p.drawPolygon(QPolygonF({QPointF(11, 4), QPointF(21, 12), QPointF(11, 20)}));
    });
    icon("new.png", [](QPainter& p) {
        p.setPen(QPen(QColor(60, 60, 60), 1.5));
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygonF({QPointF(5, 2), QPointF(15, 2), QPointF(20, 7), QPointF(20, 22), QPointF(5, 22)}));
        p.setPen(QPen(QColor(240, 180, 0), 2));
        p.drawLine(QPointF(15, 12), QPointF(15, 20));
        p.drawLine(QPointF(11, 16), QPointF(19, 16));
    });
    icon("stop.png", [](QPainter& p) { stopSign(p, QRectF(2, 2, 20, 20)); });
    icon("email.png", envelope);
    icon("stopemail.png", [](QPainter& p) {
        envelope(p);
        stopSign(p, QRectF(11, 11, 12, 12));
    });

    // Menu pictures.
    icon("exit.png", [](QPainter& p) {
        p.setPen(QPen(QColor(80, 50, 20), 1.5));
        p.setBrush(QColor(170, 110, 60));
        p.drawRect(QRectF(4, 2, 12, 20));
        p.setPen(QPen(QColor(200, 20, 20), 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(12, 12), QPointF(22, 12));
        p.drawLine(QPointF(18, 8), QPointF(22, 12));
        p.drawLine(QPointF(18, 16), QPointF(22, 12));
    });
    icon("options.png", [](QPainter& p) {
        p.setPen(QPen(QColor(70, 70, 80), 4));
        for (int i = 0; i < 4; ++i) {
            const double a = i * M_PI / 4;
            p.drawLine(QPointF(12 + 9 * std::cos(a), 12 + 9 * std::sin(a)), QPointF(12 - 9 * std::cos(a), 12 - 9 * std::sin(a)));
        }
        p.setPen(QPen(QColor(70, 70, 80), 1));
        p.setBrush(QColor(160, 160, 170));
        p.drawEllipse(QRectF(5, 5, 14, 14));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(9, 9, 6, 6));
    });
    icon("save.png", disk);
    icon("open.png", folder);
    icon("erase.png", cross);
    icon("eraseticked.png", [](QPainter& p) {
        tickBox(p, true);
        p.scale(0.55, 0.55);
        p.translate(18, 18);
        cross(p);
    });
    icon("selectall.png", [](QPainter& p) { tickBox(p, true); });
    icon("unselectall.png", [](QPainter& p) { tickBox(p, false); });
    icon("reverse.png", [](QPainter& p) {
        p.setPen(QPen(QColor(0, 90, 160), 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(4, 4, 16, 16), 30 * 16, 300 * 16);
        p.drawLine(QPointF(19, 7), QPointF(20, 2));
        p.drawLine(QPointF(19, 7), QPointF(14, 7));
    });
    icon("web.png", globe);
    icon("word.png", magnifier);
    icon("modify.png", [](QPainter& p) {
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.setBrush(QColor(250, 200, 60));
        p.drawPolygon(QPolygonF({QPointF(4, 20), QPointF(6, 14), QPointF(17, 3), QPointF(21, 7), QPointF(10, 18)}));
    });
    icon("mail.png", envelope);
    icon("info.png", [](QPainter& p) { letterIcon(p, QStringLiteral("i"), QColor(0, 90, 170)); });
    icon("help.png", [](QPainter& p) { letterIcon(p, QStringLiteral("?"), QColor(0, 130, 60)); });
    icon("update.png", [](QPainter& p) {
        p.setPen(QPen(QColor(0, 130, 0), 2.5, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(4, 4, 16, 16), 90 * 16, 270 * 16);
        p.drawLine(QPointF(12, 4), QPointF(16, 1));
        p.drawLine(QPointF(12, 4), QPointF(16, 7));
    });
    icon("corvina.png", [](QPainter& p) { drawBird(p, QPointF(13, 14), 0.3, QColor(10, 10, 20)); });

    // The desktop icon: the bird on a rounded sky-blue tile, drawn at each
    // size rather than scaled, so the small sizes stay sharp.
    if (argc > 2) {
        const QString icons = QString::fromLocal8Bit(argv[2]);
        for (int n : {16, 22, 24, 32, 48, 64, 128, 256}) {
            QImage img = canvas(n, n);
            QPainter p(&img);
            p.setRenderHint(QPainter::Antialiasing);
            const double k = n / 64.0;
            QLinearGradient sky(0, 0, 0, n);
            sky.setColorAt(0, QColor(121, 148, 174));
            sky.setColorAt(1, QColor(0, 51, 102));
            p.setPen(Qt::NoPen);
            p.setBrush(sky);
            p.drawRoundedRect(QRectF(1 * k, 1 * k, 62 * k, 62 * k), 12 * k, 12 * k);
            drawBird(p, QPointF(34 * k, 36 * k), 0.42 * k, QColor(10, 10, 20));
            p.end();
            const QString sub = QStringLiteral("%1/hicolor/%2x%2/apps").arg(icons).arg(n);
            QDir().mkpath(sub);
            if (!img.save(sub + QStringLiteral("/corvina.png")))
                std::fprintf(stderr, "cannot write %s\n", qPrintable(sub));
        }
    }
    return 0;
}
