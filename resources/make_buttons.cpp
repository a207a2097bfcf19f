// Draws the project page's button bitmaps (resources/bitmaps/<name>_pressed.png
// and <name>_unpressed.png for play, up, down, delete and write_cd). Not part
// of the build: run it again only to change the pictures.
//
//   g++ -std=c++20 -fPIC resources/make_buttons.cpp -o /tmp/make_buttons \
//       $(pkg-config --cflags --libs Qt6Gui)
//   QT_QPA_PLATFORM=offscreen /tmp/make_buttons resources/bitmaps
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QString>

#include <cstdio>
#include <functional>

namespace {

constexpr int kSize = 24;

void DrawPlay(QPainter& p, QColor color)
{
	QPainterPath path;
	path.moveTo(8, 6);
	path.lineTo(18, 12);
	path.lineTo(8, 18);
	path.closeSubpath();
	p.fillPath(path, color);
}

void DrawArrow(QPainter& p, QColor color, bool up)
{
	QPainterPath path;
	if (up) {
		path.moveTo(12, 5);
		path.lineTo(19, 13);
		path.lineTo(14.5, 13);
		path.lineTo(14.5, 19);
		path.lineTo(9.5, 19);
		path.lineTo(9.5, 13);
		path.lineTo(5, 13);
	} else {
		path.moveTo(12, 19);
		path.lineTo(19, 11);
		path.lineTo(14.5, 11);
		path.lineTo(14.5, 5);
		path.lineTo(9.5, 5);
		path.lineTo(9.5, 11);
		path.lineTo(5, 11);
	}
	path.closeSubpath();
	p.fillPath(path, color);
}

void DrawDelete(QPainter& p, QColor color)
{
	QPen pen(color, 3, Qt::SolidLine, Qt::RoundCap);
	p.setPen(pen);
	p.drawLine(QPointF(7.5, 7.5), QPointF(16.5, 16.5));
	p.drawLine(QPointF(16.5, 7.5), QPointF(7.5, 16.5));
}

void DrawDisc(QPainter& p, QColor color)
{
	QRadialGradient disc(QPointF(10, 10), 10);
	disc.setColorAt(0, QColor(235, 235, 245));
	disc.setColorAt(0.5, QColor(170, 200, 230));
	disc.setColorAt(0.8, QColor(215, 170, 220));
	disc.setColorAt(1, QColor(150, 150, 170));
	p.setPen(QPen(QColor(90, 90, 110), 1));
	p.setBrush(disc);
	p.drawEllipse(QPointF(12, 12), 8.5, 8.5);
	p.setBrush(QColor(245, 245, 245));
	p.drawEllipse(QPointF(12, 12), 2.2, 2.2);
	// The burning flame of a recorder's laser.
	QPainterPath flame;
	flame.moveTo(17, 22);
	flame.cubicTo(13, 19, 17, 15, 18.5, 12.5);
	flame.cubicTo(19.5, 16, 23, 18, 19.5, 22);
	flame.closeSubpath();
	p.setPen(Qt::NoPen);
	p.fillPath(flame, color);
}

bool Save(const QString& folder, const QString& name, const std::function<void(QPainter&, QColor)>& draw,
	QColor color, bool pressed)
{
	QImage image(kSize, kSize, QImage::Format_ARGB32);
	image.fill(Qt::transparent);
	QPainter painter(&image);
	painter.setRenderHint(QPainter::Antialiasing);
	// A rounded face, lighter at the top; pressed buttons are darker and
	// lit from below, their symbol one pixel lower.
	QLinearGradient face(0, 0, 0, kSize);
	face.setColorAt(0, pressed ? QColor(170, 170, 178) : QColor(250, 250, 252));
	face.setColorAt(1, pressed ? QColor(205, 205, 212) : QColor(214, 214, 222));
	painter.setPen(QPen(QColor(120, 120, 130), 1));
	painter.setBrush(face);
	painter.drawRoundedRect(QRectF(0.5, 0.5, kSize - 1, kSize - 1), 4, 4);
	if (pressed)
		painter.translate(0.5, 1);
	draw(painter, color);
	painter.end();
	const QString path = folder + "/" + name + (pressed ? "_pressed.png" : "_unpressed.png");
	return image.save(path);
}

}   // namespace

int main(int argc, char** argv)
{
	QGuiApplication application(argc, argv);
	if (argc < 2) {
		fprintf(stderr, "usage: make_buttons <folder>\n");
		return 2;
	}
	const QString folder = QString::fromLocal8Bit(argv[1]);
	const QColor green(40, 140, 60);
	const QColor blue(40, 80, 160);
	const QColor red(180, 40, 40);
	const QColor orange(230, 110, 20);
	bool ok = true;
	for (bool pressed : {false, true}) {
		ok &= Save(folder, "play", DrawPlay, green, pressed);
		ok &= Save(folder, "up", [](QPainter& p, QColor c) { DrawArrow(p, c, true); }, blue, pressed);
		ok &= Save(folder, "down", [](QPainter& p, QColor c) { DrawArrow(p, c, false); }, blue, pressed);
		ok &= Save(folder, "delete", DrawDelete, red, pressed);
		ok &= Save(folder, "write_cd", DrawDisc, orange, pressed);
	}
	return ok ? 0 : 1;
}
