// Draws the start-up bitmap resources/bitmaps/splash.png. Not part of the
// build: run it again only to change the picture.
//
//   g++ -std=c++20 -fPIC resources/make_splash.cpp -o /tmp/make_splash \
//       $(pkg-config --cflags --libs Qt6Gui)
//   QT_QPA_PLATFORM=offscreen /tmp/make_splash resources/bitmaps/splash.png
#include <QConicalGradient>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>

int main(int argc, char** argv)
{
	QGuiApplication application(argc, argv);
	if (argc < 2) {
		fprintf(stderr, "usage: make_splash <output.png>\n");
		return 2;
	}

	const int width = 480;
	const int height = 260;
	QImage image(width, height, QImage::Format_ARGB32);
	image.fill(Qt::transparent);
	QPainter painter(&image);
	painter.setRenderHint(QPainter::Antialiasing);

	// Card with a dark blue gradient.
	QLinearGradient background(0, 0, 0, height);
	background.setColorAt(0, QColor(24, 40, 72));
	background.setColorAt(1, QColor(8, 14, 30));
	QPainterPath card;
	card.addRoundedRect(QRectF(0.5, 0.5, width - 1, height - 1), 14, 14);
	painter.fillPath(card, background);
	painter.setPen(QPen(QColor(90, 120, 170), 1.5));
	painter.drawPath(card);

	// A disc: silver face with a rainbow sheen, clear hub.
	const QPointF centre(130, height / 2.0);
	const double outer = 92;
	QRadialGradient silver(centre, outer);
	silver.setColorAt(0, QColor(235, 238, 245));
	silver.setColorAt(1, QColor(160, 170, 190));
	painter.setPen(QPen(QColor(60, 70, 90), 1));
	painter.setBrush(silver);
	painter.drawEllipse(centre, outer, outer);
	QConicalGradient sheen(centre, 30);
	const QColor colours[] = {QColor(255, 120, 120, 90), QColor(255, 230, 120, 90), QColor(120, 255, 160, 90),
		QColor(120, 190, 255, 90), QColor(220, 130, 255, 90), QColor(255, 120, 120, 90)};
	for (int i = 0; i < 6; i++)
		sheen.setColorAt(i / 5.0, colours[i]);
	painter.setBrush(sheen);
	painter.setPen(Qt::NoPen);
	painter.drawEllipse(centre, outer - 2, outer - 2);
	painter.setPen(QPen(QColor(255, 255, 255, 70), 1));
	painter.setBrush(Qt::NoBrush);
	for (double r = 40; r < outer - 4; r += 9)
		painter.drawEllipse(centre, r, r);
	painter.setPen(QPen(QColor(60, 70, 90), 1));
	painter.setBrush(QColor(200, 205, 215));
	painter.drawEllipse(centre, 30, 30);
	painter.setBrush(QColor(16, 26, 50));
	painter.drawEllipse(centre, 11, 11);

	// Name and version.
	QFont title("DejaVu Sans", 34, QFont::Bold);
	painter.setFont(title);
	painter.setPen(QColor(240, 244, 252));
	painter.drawText(QRectF(240, 62, 230, 50), Qt::AlignLeft | Qt::AlignVCenter, "Tarnwick");
	QFont version("DejaVu Sans", 13);
	painter.setFont(version);
	painter.setPen(QColor(150, 180, 230));
	painter.drawText(QRectF(242, 112, 230, 24), Qt::AlignLeft | Qt::AlignVCenter, "version 0.80 beta");
	QFont line("DejaVu Sans", 10);
	painter.setFont(line);
	painter.setPen(QColor(190, 200, 220));
	painter.drawText(QRectF(242, 150, 230, 60), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
		"Records audio CDs,\nreads CD tracks into sound files\nand plays CDs.");
	painter.end();

	return image.save(argv[1], "PNG") ? 0 : 1;
}
