#include "gui/info_tab.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QUrl>
#include <QVBoxLayout>

namespace vexilo::gui {
namespace {

const char* const kInfoLines[] = {
    "VEXILO " VEXILO_VERSION " (Phoenix/AVR/PIC)", "", "System : Linux", "",
    "Programator : ", "- zgodny z COM-SPI (ISP) np: ", "  MultiProg", "  MasterCrd",
    "  MasterCrd LC ", "  JDM-ISO", "  KOVAD1 ", "  KOVAD2 (NEW)", "  KOVAD3 (w trakcie testow)",
    "", "Karty :", "- Wafer Card PIC16F84  + 24C16 ", "  (GoldCard/PIC CARD1)",
    "- Pic Card 2 PIC16F876 + 24Cxx", "  (SilverCard//PIC CARD3..4) ",
    "- Fun Card   AT90S8515 + 24Cxx", "  (FunCard 1..5/ Galaxy) ", "- Black Card ATMEGA128",
    "- MIX...", "- ATMega Card -ATMEGA163 + 24Cx", "- NeooCard - ATMEGA8515 + 24Cx", "",
    // Contact lines of this edition.
    "Linux / Qt edition: runs on the built-in card simulator,",
    "on a 16550 COM port (x86 port I/O) or on any serial device.", "Data sheets: the pictures."};

// A smart card with its contact pad and the chip family written on it.
QPixmap CardPicture(const QString& family, QColor colour) {
  QPixmap picture(150, 95);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(colour.darker(160), 2));
  p.setBrush(colour);
  p.drawRoundedRect(QRectF(2, 2, 146, 91), 10, 10);
  p.setBrush(QColor(0xE0, 0xC0, 0x60));
  p.setPen(QPen(QColor(0x80, 0x60, 0x20), 1));
  p.drawRoundedRect(QRectF(18, 30, 32, 26), 4, 4);
  p.drawLine(QPointF(34, 30), QPointF(34, 56));
  p.drawLine(QPointF(18, 43), QPointF(50, 43));
  p.setPen(Qt::white);
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setBold(true);
  font.setPixelSize(18);
  p.setFont(font);
  p.drawText(QRectF(56, 20, 90, 50), Qt::AlignCenter, family);
  return picture;
}

// A picture that opens a web page when clicked.
class LinkPicture final : public QLabel {
 public:
  LinkPicture(const char* name, const QPixmap& picture, const char* url, QWidget* parent)
      : QLabel(parent), url_(QString::fromUtf8(url)) {
    setObjectName(name);
    setPixmap(picture);
    setCursor(Qt::PointingHandCursor);
    setToolTip(url_);
  }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton) QDesktopServices::openUrl(QUrl(url_));
  }

 private:
  QString url_;
};

}  // namespace

InfoTab::InfoTab(QWidget* parent) : QWidget(parent) {
  setObjectName("Info");
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  auto* memo = new QPlainTextEdit(this);
  memo->setObjectName("Memo1");
  memo->setReadOnly(true);
  memo->setFrameShape(QFrame::NoFrame);
  QStringList lines;
  for (const char* line : kInfoLines) lines << QString::fromUtf8(line);
  memo->setPlainText(lines.join('\n'));
  layout->addWidget(memo, 1);

  auto* pictures = new QVBoxLayout;
  pictures->addWidget(new LinkPicture("Image2", CardPicture("AVR", QColor(0x30, 0x60, 0xA0)),
                                      "https://www.microchip.com/en-us/product/ATmega128", this));
  pictures->addWidget(new LinkPicture("Image4", CardPicture("PIC", QColor(0x90, 0x30, 0x30)),
                                      "https://www.microchip.com/en-us/product/PIC16F876", this));
  pictures->addStretch(1);
  layout->addLayout(pictures);
}

}  // namespace vexilo::gui
