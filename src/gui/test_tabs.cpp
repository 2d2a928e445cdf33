#include "gui/test_tabs.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/mode_switch.h"
#include "gui/command_runner.h"

namespace vexilo::gui {
namespace {

// The adapter lines a test button drives; every tab names them after its own use of them.
enum class Line { Tx, Rts, Dtr };

struct LineRow {
  Line line;
  const char* name;
  const char* on;
  const char* off;
};

struct TestTab {
  const char* tab;
  const char* heading;
  std::vector<LineRow> rows;
  const char* stateButton;  // null: the tab reads no line
  const char* edit;
};

const std::vector<TestTab>& Tabs() {
  static const std::vector<TestTab> kTabs{
      {"RS",
       "Port RS232",
       {{Line::Tx, "TX", "Break", "Normal"},
        {Line::Rts, "RTS", "ON", "OFF"},
        {Line::Dtr, "DTR", "ON", "OFF"}},
       "Stan CTS",
       "Edit3"},
      {"PH",
       "Tryb PHOENIX",
       {{Line::Tx, "IO", "ON", "OFF"}, {Line::Rts, "RESET", "ON", "OFF"}},
       nullptr,
       nullptr},
      {"AVR",
       "Tryb AVR",
       {{Line::Tx, "RESET", "ON", "OFF"},
        {Line::Rts, "SCK", "ON", "OFF"},
        {Line::Dtr, "MOSI", "ON", "OFF"}},
       "Stan MISO",
       "Edit1"},
      {"PIC",
       "Tryb PIC",
       {{Line::Tx, "MCLR", "+12v", "OFF"},
        {Line::Rts, "RB6", "ON", "OFF"},
        {Line::Dtr, "RB7", "ON", "OFF"}},
       "Stan RB7",
       "Edit2"},
  };
  return kTabs;
}

// TX ON is a break (the line low), the modem lines are on when set.
void Drive(port::PortSession& session, Line line, bool on) {
  switch (line) {
    case Line::Tx:
      session.SetTXLevel(on ? 0 : 1);
      break;
    case Line::Rts:
      session.SetRTS(on ? 1 : 0);
      break;
    case Line::Dtr:
      session.SetDTR(on ? 1 : 0);
      break;
  }
}

// A sketch of the adapter's RS-232 side: the lines the buttons switch and the one they read.
QPixmap AdapterPicture() {
  QPixmap picture(150, 110);
  picture.fill(Qt::white);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::darkGray, 2));
  p.setBrush(QColor(0xE8, 0xE8, 0xE8));
  p.drawRoundedRect(10, 10, 50, 90, 8, 8);
  const char* pins[] = {"TX", "RTS", "DTR", "CTS"};
  for (int i = 0; i < 4; ++i) {
    const int y = 25 + i * 20;
    p.setBrush(i == 3 ? QColor(0x30, 0x90, 0x30) : QColor(0xC0, 0x30, 0x30));
    p.drawEllipse(QPoint(35, y), 4, 4);
    p.drawLine(40, y, 95, y);
    p.drawText(100, y + 4, pins[i]);
  }
  return picture;
}

QWidget* MakeTab(const TestTab& tab, CommandRunner& runner, QWidget* parent) {
  auto* page = new QWidget(parent);
  page->setObjectName(QStringLiteral("tab") + tab.tab);
  auto* grid = new QGridLayout(page);
  auto* heading = new QLabel(tab.heading, page);
  heading->setStyleSheet("color: red; font-weight: bold;");
  grid->addWidget(heading, 0, 0, 1, 3);
  int row = 1;
  for (const LineRow& line : tab.rows) {
    grid->addWidget(new QLabel(line.name, page), row, 0);
    for (bool on : {true, false}) {
      auto* button = new QPushButton(on ? line.on : line.off, page);
      button->setObjectName(QString("%1_%2_%3").arg(tab.tab, line.name, on ? "on" : "off"));
      const Line which = line.line;
      QObject::connect(button, &QPushButton::clicked, page, [&runner, which, on] {
        runner.RunNow([&](app::Rig& rig, port::Operator&) { Drive(rig.Session(), which, on); });
      });
      grid->addWidget(button, row, on ? 1 : 2);
    }
    ++row;
  }
  if (tab.stateButton) {
    auto* state = new QPushButton(tab.stateButton, page);
    state->setObjectName(QString("%1_state").arg(tab.tab));
    auto* edit = new QLineEdit("0", page);
    edit->setObjectName(tab.edit);
    edit->setMaxLength(1);
    edit->setFixedWidth(24);
    QObject::connect(state, &QPushButton::clicked, page, [&runner, edit] {
      runner.RunNow([&](app::Rig& rig, port::Operator&) {
        edit->setText(QString::number(rig.Session().GetCTS()));
      });
    });
    grid->addWidget(state, row, 1);
    grid->addWidget(edit, row, 2);
    ++row;
  }
  auto* open = new QPushButton("Open Port", page);
  open->setObjectName(QString("%1_open").arg(tab.tab));
  auto* close = new QPushButton("Close Port", page);
  close->setObjectName(QString("%1_close").arg(tab.tab));
  // Every tab opens the AVR/PIC port selection, the PH tab too.
  QObject::connect(open, &QPushButton::clicked, page, [&runner] {
    runner.RunNow([](app::Rig& rig, port::Operator&) { rig.Session().OpenPort("avr/pic"); });
  });
  QObject::connect(close, &QPushButton::clicked, page, [&runner] {
    runner.RunNow([](app::Rig& rig, port::Operator&) { rig.Session().ClosePort(); });
  });
  grid->addWidget(open, row, 1);
  grid->addWidget(close, row, 2);
  grid->setRowStretch(row + 1, 1);
  return page;
}

}  // namespace

TestKoVadPage::TestKoVadPage(CommandRunner& runner, QWidget* parent)
    : QWidget(parent), runner_(runner) {
  auto* layout = new QHBoxLayout(this);
  auto* picture = new QLabel(this);
  picture->setObjectName("Image3");
  picture->setPixmap(AdapterPicture());
  picture->setAlignment(Qt::AlignTop);
  layout->addWidget(picture);
  auto* tabs = new QTabWidget(this);
  tabs->setObjectName("PageControl2");
  for (const TestTab& tab : Tabs()) tabs->addTab(MakeTab(tab, runner_, tabs), tab.tab);
  layout->addWidget(tabs, 1);
}

TestKoVad2Page::TestKoVad2Page(CommandRunner& runner, QWidget* parent)
    : QWidget(parent), runner_(runner) {
  auto* layout = new QVBoxLayout(this);
  auto* group = new QGroupBox(" Test Mode ", this);
  group->setObjectName("GroupBoxTestMode");
  auto* row = new QHBoxLayout(group);
  struct Burst {
    const char* name;
    const char* caption;
    app::AdapterMode mode;
  };
  for (const Burst& burst : {Burst{"Button34", "Phoenix", app::AdapterMode::Phoenix},
                             Burst{"Button35", "Fun", app::AdapterMode::Avr},
                             Burst{"Button36", "Pic", app::AdapterMode::Pic}}) {
    auto* button = new QPushButton(burst.caption, group);
    button->setObjectName(burst.name);
    const app::AdapterMode mode = burst.mode;
    const QString caption = burst.caption;
    connect(button, &QPushButton::clicked, this, [this, mode, caption] {
      bool sent = false;
      const bool ran = runner_.RunNow([mode, &sent](app::Rig& rig, port::Operator& op) {
        sent = app::SendTestBurst(mode, rig, op);
      });
      emit BurstReport(
          !ran   ? QStringLiteral("%1 burst not sent: the port is busy or not set up").arg(caption)
          : sent ? QStringLiteral("%1 burst sent").arg(caption)
                 : QStringLiteral("%1 burst not sent: the port could not be used").arg(caption));
    });
    row->addWidget(button);
  }
  layout->addWidget(group);
  layout->addStretch(1);
}

}  // namespace vexilo::gui
