#include "gui/option_panel_widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>

namespace vexilo::gui {
namespace {

constexpr int kPanelWidth = 577;
constexpr int kPanelHeight = 37;
constexpr int kGap = 6;

const QStringList& OscillatorItems() {
  static const QStringList kItems{"LP", "XT", "HS", "RC"};
  return kItems;
}

void SetComboText(QComboBox* box, const std::string& text) {
  const QSignalBlocker quiet(box);
  box->setCurrentText(QString::fromStdString(text));
}

}  // namespace

OptionPanelWidget::OptionPanelWidget(const char* name, app::OptionPanels& options, QWidget* parent)
    : QFrame(parent), options_(options) {
  setObjectName(name);
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  // The window's width when it is made wider; the controls keep their places.
  setMinimumSize(kPanelWidth, kPanelHeight);
  setMaximumHeight(kPanelHeight);
  resize(kPanelWidth, kPanelHeight);
  hide();
}

void OptionPanelWidget::SetControlsEnabled(bool enabled) {
  for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    child->setEnabled(enabled);
  }
}

void OptionPanelWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  emit DoubleClicked();
  event->accept();
}

int OptionPanelWidget::Place(QWidget* widget, int x, int width) {
  QSize hint = widget->sizeHint();
  if (width == 0) width = hint.width();
  widget->setGeometry(x, (kPanelHeight - hint.height()) / 2, width, hint.height());
  return x + width + kGap;
}

QCheckBox* OptionPanelWidget::AddCheckBox(const char* name, const char* caption, bool* value) {
  auto* box = new QCheckBox(QString::fromUtf8(caption), this);
  box->setObjectName(name);
  connect(box, &QCheckBox::toggled, this, [value](bool on) { *value = on; });
  boxes_.emplace_back(box, value);
  return box;
}

QRadioButton* OptionPanelWidget::AddSizeButton(const char* name, const char* caption, int index) {
  auto* button = new QRadioButton(QString::fromUtf8(caption), this);
  button->setObjectName(name);
  connect(button, &QRadioButton::clicked, this, [this, index] { emit ExtSizeChosen(index); });
  sizeButtons_.push_back(button);
  return button;
}

FunPanelWidget::FunPanelWidget(app::OptionPanels& options, QWidget* parent)
    : OptionPanelWidget("gfun", options, parent) {
  auto makeFuse = [this](const char* name) {
    auto* button = new QPushButton(QStringLiteral("FUSE"), this);
    button->setObjectName(name);
    button->setGeometry(6, 6, 75, 25);
    button->hide();
    return button;
  };
  fuse = makeFuse("fuse");
  fuse->move(10, 6);
  button39 = makeFuse("Button39");
  button40 = makeFuse("Button40");

  int x = Place(AddCheckBox("CheckBox1", "Bit 1", &options_.fun.checkBox1), 96);
  Place(AddCheckBox("CheckBox2", "Bit 2", &options_.fun.checkBox2), x);

  static constexpr const char* kNames[] = {"c64", "c128", "c256", "C512"};
  static constexpr const char* kParts[] = {"24C64", "24C128", "24C256", "24C512"};
  std::vector<QRadioButton*> buttons;
  int width = 0;
  for (int i = 0; i < 4; ++i) {
    buttons.push_back(AddSizeButton(kNames[i], kParts[i], i));
    width += buttons.back()->sizeHint().width() + kGap;
  }
  x = kPanelWidth - 4 - width;
  for (QRadioButton* b : buttons) x = Place(b, x);
  Sync();
}

void OptionPanelWidget::SyncBoxes(int extSize) {
  for (auto& [box, value] : boxes_) {
    const QSignalBlocker quiet(box);
    box->setChecked(*value);
  }
  for (size_t i = 0; i < sizeButtons_.size(); ++i) {
    sizeButtons_[i]->setChecked(static_cast<int>(i) == extSize);
  }
}

void FunPanelWidget::Sync() { SyncBoxes(options_.fun.extSize); }

PicPanelWidget::PicPanelWidget(app::OptionPanels& options, QWidget* parent)
    : OptionPanelWidget("gpic", options, parent) {
  oscillator_ = new QComboBox(this);
  oscillator_->setObjectName("ComboBox1");
  oscillator_->addItems(OscillatorItems());
  connect(oscillator_, &QComboBox::currentTextChanged, this,
          [this](const QString& text) { options_.pic.comboBox1 = text.toStdString(); });
  int x = Place(oscillator_, 8, 60);
  x = Place(AddCheckBox("CheckBox3", "WDT", &options_.pic.checkBox3), x + 6);
  x = Place(AddCheckBox("CheckBox4", "PWRT", &options_.pic.checkBox4), x);
  Place(AddCheckBox("CheckBox5", "CP", &options_.pic.checkBox5), x);
  Sync();
}

void PicPanelWidget::Sync() {
  SetComboText(oscillator_, options_.pic.comboBox1);
  SyncBoxes(-1);
}

Pic2PanelWidget::Pic2PanelWidget(app::OptionPanels& options, QWidget* parent)
    : OptionPanelWidget("gpic2", options, parent) {
  // Fourteen controls in one row: the narrower face of the window's font.
  QFont narrow = font();
  narrow.setStretch(QFont::Condensed);
  setFont(narrow);
  oscillator_ = new QComboBox(this);
  oscillator_->setObjectName("ComboBox2");
  oscillator_->addItems(OscillatorItems());
  connect(oscillator_, &QComboBox::currentTextChanged, this,
          [this](const QString& text) { options_.pic2.comboBox2 = text.toStdString(); });
  protection_ = new QComboBox(this);
  protection_->setObjectName("ComboBox3");
  protection_->addItems({"CP OFF", "CP 0000-1FFF", "CP 1000-1FFF", "CP 1F00-1FFF"});
  connect(protection_, &QComboBox::currentTextChanged, this,
          [this](const QString& text) { options_.pic2.comboBox3 = text.toStdString(); });
  int x = Place(oscillator_, 4, 46);
  x = Place(protection_, x - 3, 100);
  x = Place(AddCheckBox("CheckBox6", "WDT", &options_.pic2.checkBox6), x);
  x = Place(AddCheckBox("CheckBox7", "PWRT", &options_.pic2.checkBox7), x - 3);
  x = Place(AddCheckBox("CheckBox9", "BODEN", &options_.pic2.checkBox9), x - 3);
  x = Place(AddCheckBox("CheckBox8", "LVP", &options_.pic2.checkBox8), x - 3);
  x = Place(AddCheckBox("CheckBox10", "CPD", &options_.pic2.checkBox10), x - 3);
  x = Place(AddCheckBox("CheckBox11", "WRT", &options_.pic2.checkBox11), x - 3);
  x = Place(AddSizeButton("c64_", "24C64", 0), x);
  Place(AddSizeButton("c128_", "24C128", 1), x - 3);
  Sync();
}

void Pic2PanelWidget::Sync() {
  SetComboText(oscillator_, options_.pic2.comboBox2);
  SetComboText(protection_, options_.pic2.comboBox3);
  SyncBoxes(options_.pic2.extSize);
}

}  // namespace vexilo::gui
