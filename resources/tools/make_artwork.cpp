// Draws the program's artwork into PNG files: badges, service logos, status
// and menu icons, player-bar pictures, the default cover and the spinner.
// Run through resources/make-artwork.sh; the PNGs are committed.
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

const QColor kAccent("#E8465B");
const QColor kInk("#4A4F5A");
const QString kFont = QStringLiteral("WenQuanYi Micro Hei");

QString outDir;
int failures = 0;

void save(const QString& name, int w, int h, const std::function<void(QPainter&)>& draw) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    {
        QPainter p(&img);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        draw(p);
    }
    const QString path = outDir + "/" + name + ".png";
    if (!img.convertToFormat(QImage::Format_ARGB32).save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        ++failures;
    }
}

QFont font(int px, bool bold = true) {
    QFont f(kFont);
    f.setPixelSize(px);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

void centeredText(QPainter& p, const QRectF& r, const QString& text, int px, const QColor& c) {
    p.setFont(font(px));
    p.setPen(c);
    p.drawText(r, Qt::AlignCenter, text);
}

void badge(const QString& name, const QString& text, const QColor& c) {
    save(name, 34, 18, [&](QPainter& p) {
        p.setPen(QPen(c, 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(0.6, 0.6, 32.8, 16.8), 4, 4);
        centeredText(p, QRectF(0, 0, 34, 18), text, 11, c);
    });
}

void disc(QPainter& p, const QRectF& r, const QColor& c) {
    QLinearGradient g(r.topLeft(), r.bottomRight());
    g.setColorAt(0, c.lighter(118));
    g.setColorAt(1, c.darker(108));
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    p.drawEllipse(r);
}

void logo(const QString& name, int size, const QColor& c, const QString& text, int px) {
    save(name, size, size, [&](QPainter& p) {
        const double m = size / 30.0;
        disc(p, QRectF(m, m, size - 2 * m, size - 2 * m), c);
        centeredText(p, QRectF(0, 0, size, size), text, px, Qt::white);
    });
}

// Status icons: a coloured disc with a white mark drawn by `mark` in a 20x20 box.
void status(const QString& name, const QColor& c, const std::function<void(QPainter&)>& mark) {
    save(name, 20, 20, [&](QPainter& p) {
        disc(p, QRectF(1, 1, 18, 18), c);
        p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        mark(p);
    });
}

// Line icons for menus and navigation, drawn in a 20x20 box.
void lineIcon(const QString& name, const QColor& c, const std::function<void(QPainter&)>& draw) {
    save(name, 20, 20, [&](QPainter& p) {
        p.setPen(QPen(c, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        draw(p);
    });
}

void downArrow(QPainter& p, double x, double top, double bottom) {
    p.drawLine(QPointF(x, top), QPointF(x, bottom));
    p.drawLine(QPointF(x - 4, bottom - 4), QPointF(x, bottom));
    p.drawLine(QPointF(x + 4, bottom - 4), QPointF(x, bottom));
}

void note(QPainter& p, double x, double y, double s) {
    // An eighth note whose head's centre is at (x, y); s scales it.
    p.save();
    p.setBrush(p.pen().color());
    p.drawEllipse(QPointF(x, y), 2.6 * s, 2.0 * s);
    p.drawLine(QPointF(x + 2.4 * s, y), QPointF(x + 2.4 * s, y - 9 * s));
    p.drawLine(QPointF(x + 2.4 * s, y - 9 * s), QPointF(x + 6 * s, y - 6.5 * s));
    p.restore();
}

void magnifier(QPainter& p, double cx, double cy, double r) {
    p.drawEllipse(QPointF(cx, cy), r, r);
    p.drawLine(QPointF(cx + r * 0.72, cy + r * 0.72), QPointF(cx + r * 1.6, cy + r * 1.6));
}

void speaker(QPainter& p, const QColor& c) {
    QPainterPath body;
    body.moveTo(3, 9);
    body.lineTo(7, 9);
    body.lineTo(12, 4);
    body.lineTo(12, 20);
    body.lineTo(7, 15);
    body.lineTo(3, 15);
    body.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawPath(body);
}

void drawBadges() {
    badge("badge_standard", QStringLiteral("标准"), QColor("#8A8F99"));
    badge("badge_high", "HQ", QColor("#F08A24"));
    badge("badge_lossless", "SQ", QColor("#E5383B"));
}

void drawLogos() {
    logo("logo_qq", 30, QColor("#31C27C"), "Q", 17);
    logo("logo_netease", 30, QColor("#E60026"), QStringLiteral("网"), 15);
    logo("logo_kuwo", 30, QColor("#F5A623"), QStringLiteral("我"), 15);
    logo("logo_kugou", 256, QColor("#2CA2F9"), QStringLiteral("狗"), 128);
    save("source_generic", 30, 30, [](QPainter& p) {
        disc(p, QRectF(1, 1, 28, 28), QColor("#9FA4B4"));
        p.setPen(QPen(Qt::white, 1.6));
        note(p, 12, 20, 1.1);
    });
}

void drawStatus() {
    status("status_downloading", QColor("#2D8CF0"), [](QPainter& p) { downArrow(p, 10, 5, 14.5); });
    status("status_done", QColor("#19BE6B"), [](QPainter& p) {
        p.drawPolyline(QPolygonF({QPointF(5.5, 10.5), QPointF(8.8, 13.6), QPointF(14.5, 7)}));
    });
    status("status_done_nocover", QColor("#F5A623"), [](QPainter& p) {
        p.drawPolyline(QPolygonF({QPointF(5, 10), QPointF(8, 13), QPointF(12.5, 7.5)}));
        p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(15, 5.5), QPointF(15, 10));
        p.drawPoint(QPointF(15, 13.5));
    });
    status("status_failed", QColor("#ED4014"), [](QPainter& p) {
        p.drawLine(QPointF(6.5, 6.5), QPointF(13.5, 13.5));
        p.drawLine(QPointF(13.5, 6.5), QPointF(6.5, 13.5));
    });
    status("status_parse_failed", QColor("#FF9900"), [](QPainter& p) {
        QPainterPath q;
        q.moveTo(7, 7.8);
        q.cubicTo(7, 4.2, 13.2, 4.2, 13.2, 7.8);
        q.cubicTo(13.2, 10, 10, 10, 10, 12.2);
        p.drawPath(q);
        p.drawPoint(QPointF(10, 15.2));
    });
    status("status_connect_failed", QColor("#808695"), [](QPainter& p) {
        // A broken link: two half rings apart, and a slash.
        p.drawArc(QRectF(4, 6.5, 6, 7), 90 * 16, 180 * 16);
        p.drawArc(QRectF(10, 6.5, 6, 7), -90 * 16, 180 * 16);
        p.drawLine(QPointF(8.5, 15.5), QPointF(11.5, 4.5));
    });
    status("status_service_failed", QColor("#9B59B6"), [](QPainter& p) {
        p.drawLine(QPointF(10, 5), QPointF(10, 11));
        p.drawPoint(QPointF(10, 15));
    });
    status("status_cancelled", QColor("#808695"), [](QPainter& p) { p.drawLine(QPointF(6, 10), QPointF(14, 10)); });
    status("status_paused", QColor("#2D8CF0"), [](QPainter& p) {
        p.drawLine(QPointF(8, 6.5), QPointF(8, 13.5));
        p.drawLine(QPointF(12, 6.5), QPointF(12, 13.5));
    });
    status("status_interrupted", QColor("#F5A623"), [](QPainter& p) {
        // A broken arrow: the transfer stopped on its way.
        p.drawLine(QPointF(10, 5), QPointF(10, 8));
        p.drawLine(QPointF(10, 11), QPointF(10, 14.5));
        p.drawLine(QPointF(6.5, 11), QPointF(10, 14.5));
        p.drawLine(QPointF(13.5, 11), QPointF(10, 14.5));
    });
    status("status_missing", QColor("#ED4014"), [](QPainter& p) {
        // A page with a question mark: the file is not where it was.
        p.setPen(QPen(Qt::white, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawRoundedRect(QRectF(6, 4.5, 8, 11), 1.2, 1.2);
        QPainterPath q;
        q.moveTo(8.6, 8.4);
        q.cubicTo(8.6, 6.6, 11.4, 6.6, 11.4, 8.4);
        q.cubicTo(11.4, 9.6, 10, 9.6, 10, 11);
        p.drawPath(q);
        p.drawPoint(QPointF(10, 13.2));
    });
}

void drawMenuIcons() {
    const QColor c = kInk;
    lineIcon("menu_preview", c, [](QPainter& p) {
        p.drawArc(QRectF(3, 3, 14, 14), 0, 180 * 16);
        p.drawLine(QPointF(3, 10), QPointF(3, 15));
        p.drawLine(QPointF(17, 10), QPointF(17, 15));
        p.drawRoundedRect(QRectF(2.5, 11, 3.5, 6), 1, 1);
        p.drawRoundedRect(QRectF(14, 11, 3.5, 6), 1, 1);
    });
    lineIcon("menu_download", c, [](QPainter& p) {
        downArrow(p, 10, 3, 13);
        p.drawPolyline(QPolygonF({QPointF(3, 13), QPointF(3, 17), QPointF(17, 17), QPointF(17, 13)}));
    });
    lineIcon("menu_download_all", c, [](QPainter& p) {
        p.drawLine(QPointF(3, 4), QPointF(11, 4));
        p.drawLine(QPointF(3, 9), QPointF(11, 9));
        p.drawLine(QPointF(3, 14), QPointF(9, 14));
        downArrow(p, 15, 6, 17);
    });
    lineIcon("menu_source", c, [](QPainter& p) {
        p.drawLine(QPointF(4, 7), QPointF(16, 7));
        p.drawPolyline(QPolygonF({QPointF(12, 3.5), QPointF(16, 7), QPointF(12, 10.5)}));
        p.drawLine(QPointF(16, 13), QPointF(4, 13));
        p.drawPolyline(QPolygonF({QPointF(8, 9.5), QPointF(4, 13), QPointF(8, 16.5)}));
    });
    lineIcon("menu_search_song", c, [](QPainter& p) {
        magnifier(p, 8, 8, 5);
        note(p, 7, 10, 0.55);
    });
    lineIcon("menu_search_singer", c, [](QPainter& p) {
        p.drawEllipse(QPointF(10, 6.5), 3.5, 3.5);
        p.drawArc(QRectF(3.5, 11.5, 13, 11), 0, 180 * 16);
    });
    lineIcon("menu_search_album", c, [](QPainter& p) {
        p.drawEllipse(QPointF(10, 10), 7, 7);
        p.drawEllipse(QPointF(10, 10), 2, 2);
    });
    lineIcon("menu_play", c, [](QPainter& p) {
        p.drawPolygon(QPolygonF({QPointF(6, 4), QPointF(16, 10), QPointF(6, 16)}));
    });
    lineIcon("menu_open_folder", c, [](QPainter& p) {
        p.drawPolygon(QPolygonF({QPointF(2.5, 5), QPointF(8, 5), QPointF(10, 7), QPointF(17.5, 7),
                                 QPointF(17.5, 16), QPointF(2.5, 16)}));
        p.drawLine(QPointF(2.5, 9.5), QPointF(17.5, 9.5));
    });
    // A circular arrow: once for one row, twice for all of them.
    auto circular = [](QPainter& p, double cx, double cy, double r) {
        p.drawArc(QRectF(cx - r, cy - r, 2 * r, 2 * r), 60 * 16, 290 * 16);
        const double a = 60 * M_PI / 180;
        const QPointF tip(cx + r * std::cos(a), cy - r * std::sin(a));
        p.drawPolyline(QPolygonF({tip + QPointF(-3.6, -1.2), tip, tip + QPointF(-0.4, 3.6)}));
    };
    lineIcon("menu_retry", c, [&](QPainter& p) { circular(p, 10, 10.5, 6.5); });
    lineIcon("menu_retry_all", c, [&](QPainter& p) {
        circular(p, 9, 11, 6);
        p.drawLine(QPointF(15.5, 4), QPointF(18, 4));
        p.drawLine(QPointF(16.5, 7.5), QPointF(18, 7.5));
    });
    lineIcon("menu_pause", c, [](QPainter& p) {
        p.drawRoundedRect(QRectF(5, 4, 3, 12), 1, 1);
        p.drawRoundedRect(QRectF(12, 4, 3, 12), 1, 1);
    });
    lineIcon("menu_continue", c, [](QPainter& p) {
        p.drawPolygon(QPolygonF({QPointF(6, 4), QPointF(16, 10), QPointF(6, 16)}));
        p.drawLine(QPointF(3, 4), QPointF(3, 16));
    });
    lineIcon("menu_cancel", c, [](QPainter& p) {
        p.drawEllipse(QPointF(10, 10), 7, 7);
        p.drawLine(QPointF(7, 7), QPointF(13, 13));
        p.drawLine(QPointF(13, 7), QPointF(7, 13));
    });
}

void drawNavIcons() {
    const QColor c("#C9CDD6");
    lineIcon("nav_search", c, [](QPainter& p) { magnifier(p, 8.5, 8.5, 5.5); });
    lineIcon("nav_downloads", c, [](QPainter& p) {
        downArrow(p, 10, 3, 13);
        p.drawLine(QPointF(3, 17), QPointF(17, 17));
    });
    lineIcon("nav_settings", c, [](QPainter& p) {
        p.drawEllipse(QPointF(10, 10), 2.6, 2.6);
        for (int i = 0; i < 8; ++i) {
            const double a = i * M_PI / 4;
            p.drawLine(QPointF(10 + 5.2 * std::cos(a), 10 + 5.2 * std::sin(a)),
                       QPointF(10 + 7.6 * std::cos(a), 10 + 7.6 * std::sin(a)));
        }
        p.drawEllipse(QPointF(10, 10), 5.2, 5.2);
    });
}

void drawPlayer() {
    save("play", 40, 40, [](QPainter& p) {
        disc(p, QRectF(1, 1, 38, 38), kAccent);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawPolygon(QPolygonF({QPointF(16, 12), QPointF(28, 20), QPointF(16, 28)}));
    });
    save("pause", 40, 40, [](QPainter& p) {
        disc(p, QRectF(1, 1, 38, 38), kAccent);
        p.setPen(Qt::NoPen);
        p.setBrush(Qt::white);
        p.drawRoundedRect(QRectF(14, 12, 4, 16), 1.5, 1.5);
        p.drawRoundedRect(QRectF(22, 12, 4, 16), 1.5, 1.5);
    });
    auto skip = [](QPainter& p, bool forward) {
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        if (forward) {
            p.drawPolygon(QPolygonF({QPointF(8, 7), QPointF(21, 16), QPointF(8, 25)}));
            p.drawRoundedRect(QRectF(21, 7, 3, 18), 1, 1);
        } else {
            p.drawPolygon(QPolygonF({QPointF(24, 7), QPointF(11, 16), QPointF(24, 25)}));
            p.drawRoundedRect(QRectF(8, 7, 3, 18), 1, 1);
        }
    };
    save("next", 32, 32, [&](QPainter& p) { skip(p, true); });
    save("previous", 32, 32, [&](QPainter& p) { skip(p, false); });
    save("volume", 24, 24, [](QPainter& p) {
        speaker(p, kInk);
        p.setPen(QPen(kInk, 1.6, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(9, 8, 7, 8), -60 * 16, 120 * 16);
        p.drawArc(QRectF(8, 4.5, 12, 15), -60 * 16, 120 * 16);
    });
    save("muted", 24, 24, [](QPainter& p) {
        speaker(p, QColor("#A0A4AD"));
        p.setPen(QPen(kAccent, 1.8, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(15, 9), QPointF(21, 15));
        p.drawLine(QPointF(21, 9), QPointF(15, 15));
    });
    save("download", 24, 24, [](QPainter& p) {
        p.setPen(QPen(kInk, 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        downArrow(p, 12, 4, 15);
        p.drawPolyline(QPolygonF({QPointF(4, 15), QPointF(4, 20), QPointF(20, 20), QPointF(20, 15)}));
    });
}

void drawCoverAndSpinner() {
    save("default_cover", 256, 256, [](QPainter& p) {
        QRadialGradient g(QPointF(128, 128), 128);
        g.setColorAt(0, QColor("#3A3F4B"));
        g.setColorAt(1, QColor("#15171C"));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawEllipse(QRectF(2, 2, 252, 252));
        p.setBrush(Qt::NoBrush);
        for (int r = 60; r < 124; r += 7) {
            p.setPen(QPen(QColor(255, 255, 255, 18 + (r % 3) * 6), 1));
            p.drawEllipse(QPointF(128, 128), r, r);
        }
        QLinearGradient label(QPointF(78, 78), QPointF(178, 178));
        label.setColorAt(0, kAccent.lighter(120));
        label.setColorAt(1, kAccent.darker(115));
        p.setPen(Qt::NoPen);
        p.setBrush(label);
        p.drawEllipse(QPointF(128, 128), 50, 50);
        p.setPen(QPen(Qt::white, 6, Qt::SolidLine, Qt::RoundCap));
        note(p, 118, 146, 4.2);
        p.setBrush(QColor("#15171C"));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(128, 128), 6, 6);
    });
    save("loading", 48, 48, [](QPainter& p) {
        p.setPen(QPen(QColor(232, 70, 91, 40), 5, Qt::SolidLine, Qt::RoundCap));
        p.drawEllipse(QRectF(6, 6, 36, 36));
        p.setPen(QPen(kAccent, 5, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(QRectF(6, 6, 36, 36), 90 * 16, 110 * 16);
    });
    save("added_to_list", 132, 32, [](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(25, 190, 107, 235));
        p.drawRoundedRect(QRectF(0, 0, 132, 32), 16, 16);
        p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(12, 16), QPointF(16, 20), QPointF(22, 12)}));
        p.setFont(font(13));
        p.drawText(QRectF(28, 0, 100, 32), Qt::AlignVCenter | Qt::AlignLeft,
                   QStringLiteral("已加入下载列表"));
    });
    save("msgbox_icon", 40, 40, [](QPainter& p) {
        disc(p, QRectF(2, 2, 36, 36), kAccent);
        p.setPen(QPen(Qt::white, 3.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(20, 11), QPointF(20, 23));
        p.drawPoint(QPointF(20, 29));
    });
    save("app_icon", 64, 64, [](QPainter& p) {
        QLinearGradient g(QPointF(0, 0), QPointF(64, 64));
        g.setColorAt(0, kAccent.lighter(115));
        g.setColorAt(1, QColor("#B4235A"));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawRoundedRect(QRectF(2, 2, 60, 60), 14, 14);
        p.setPen(QPen(Qt::white, 3.5, Qt::SolidLine, Qt::RoundCap));
        note(p, 26, 42, 2.4);
    });
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    outDir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(outDir);
    drawBadges();
    drawLogos();
    drawStatus();
    drawMenuIcons();
    drawNavIcons();
    drawPlayer();
    drawCoverAndSpinner();
    return failures == 0 ? 0 : 1;
}
