#include "app/AboutBox.h"

#include <QDesktopServices>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>

#include "core/Version.h"

namespace imvora {
namespace {

QLabel* PictureLabel(const QPixmap& pixmap, int left, int top, QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setPixmap(pixmap);
  label->setGeometry(left, top, pixmap.width(), pixmap.height());
  return label;
}

QLabel* TextLabel(const QString& text, const QRect& geometry, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setGeometry(geometry);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

}  // namespace

TContactLabel::TContactLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  QFont bold = font();
  bold.setBold(true);
  setFont(bold);
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, palette().color(QPalette::Active, QPalette::Highlight));
  setPalette(colours);
  setCursor(Qt::PointingHandCursor);
}

void TContactLabel::SetUnderline(bool underline) {
  QFont changed = font();
  changed.setUnderline(underline);
  setFont(changed);
}

void TContactLabel::enterEvent(QEnterEvent*) {
  SetUnderline(true);
}

void TContactLabel::leaveEvent(QEvent*) {
  SetUnderline(false);
}

void TContactLabel::mousePressEvent(QMouseEvent*) {
  emit Clicked();
}

const QUrl TAboutBox::ContactAddress("mailto:imvora@example.org");

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
  setObjectName("AboutBox");
  setWindowTitle("О программе");
  setFixedSize(441, 248);

  PictureLabel(DrawWorkbenchPicture(), 8, 8, this);
  PictureLabel(DrawGlyphPicture(), 301, 8, this);

  QLabel* title = TextLabel("Imvora", QRect(192, 12, 105, 30), this);
  QFont titleFont = title->font();
  titleFont.setBold(true);
  titleFont.setUnderline(true);
  titleFont.setPointSizeF(titleFont.pointSizeF() * 1.6);
  title->setFont(titleFont);
  TextLabel(QString("версия ") + kImvoraVersion, QRect(192, 46, 105, 20), this);

  QLabel* description =
      TextLabel("Программа суммирует опыт, накоп- ленный в областях обработки и распознавания",
                QRect(8, 134, 233, 49), this);
  description->setWordWrap(true);
  TextLabel("изображений.", QRect(8, 183, 233, 18), this);

  ContactLabel = new TContactLabel(ContactAddress.path(), this);
  ContactLabel->setObjectName("ContactLabel");
  ContactLabel->adjustSize();
  ContactLabel->move(8, 214);
  connect(ContactLabel, &TContactLabel::Clicked, this, &TAboutBox::OpenContact);

  auto* close = new QPushButton("Закрыть окно", this);
  close->setObjectName("CloseButton");
  QFont boldFont = close->font();
  boldFont.setBold(true);
  close->setFont(boldFont);
  close->setGeometry(301, 210, 132, 30);
  close->setDefault(true);
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::OpenContact() {
  QDesktopServices::openUrl(ContactAddress);
}

QPixmap DrawWorkbenchPicture() {
  // A picture under a magnifying glass: a landscape, its pixels enlarged inside the lens.
  QPixmap pixmap(174, 114);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, 0, 114);
  sky.setColorAt(0, QColor(250, 236, 200));
  sky.setColorAt(1, QColor(150, 190, 225));
  p.fillRect(pixmap.rect(), sky);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(220, 80, 70));
  p.drawEllipse(QPointF(132, 30), 17, 17);
  QPainterPath hills(QPointF(0, 114));
  hills.lineTo(0, 80);
  hills.cubicTo(40, 55, 70, 95, 110, 75);
  hills.cubicTo(140, 62, 160, 78, 174, 70);
  hills.lineTo(174, 114);
  p.setBrush(QColor(90, 180, 95));
  p.drawPath(hills);
  const QPointF lens(58, 50);
  for (int gy = 0; gy < 5; ++gy) {
    for (int gx = 0; gx < 5; ++gx) {
      const int shade = 80 + 30 * ((gx + gy) % 4);
      p.setBrush(QColor(shade, 140 + 20 * (gx % 3), 255 - shade));
      p.drawRect(QRectF(lens.x() - 25 + 10 * gx, lens.y() - 25 + 10 * gy, 10, 10));
    }
  }
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(40, 40, 40), 5));
  p.drawEllipse(lens, 33, 33);
  p.setPen(QPen(QColor(40, 40, 40), 9, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(lens + QPointF(24, 24), lens + QPointF(46, 46));
  return pixmap;
}

QPixmap DrawGlyphPicture() {
  // A glyph with its traced contour and sample points, as the recogniser sees it.
  QPixmap pixmap(132, 132);
  pixmap.fill(Qt::white);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  QFont font("DejaVu Serif");
  font.setPixelSize(104);
  font.setBold(true);
  QPainterPath glyph;
  glyph.addText(0, 0, font, "Я");
  const QRectF box = glyph.boundingRect();
  glyph.translate(66 - box.center().x(), 66 - box.center().y());
  p.fillPath(glyph, QColor(215, 225, 240));
  p.setPen(QPen(QColor(30, 70, 160), 2));
  p.drawPath(glyph);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(220, 80, 70));
  const QPolygonF outline = glyph.toFillPolygon();
  for (int i = 0; i < outline.size(); i += 6) p.drawEllipse(outline[i], 2.5, 2.5);
  p.setPen(QPen(QColor(160, 160, 160), 1, Qt::DashLine));
  p.setBrush(Qt::NoBrush);
  p.drawRect(glyph.boundingRect().adjusted(-4, -4, 4, 4));
  return pixmap;
}

}  // namespace imvora
