#include "gui/setup_tab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>
#include <vector>

#include "image/hex_to_int.h"
#include "port/ftdi/ftdi_diagnostics.h"
#include "port/ftdi/ftdi_library.h"
#include "port/serial_ports.h"

namespace vexilo::gui {
namespace {

QGroupBox* Group(const char* caption, QWidget* parent) {
  auto* box = new QGroupBox(QString::fromUtf8(caption), parent);
  return box;
}

template <typename Layout>
Layout* Tight(Layout* layout) {
  layout->setContentsMargins(5, 2, 5, 3);
  layout->setSpacing(2);
  return layout;
}

// A combo box as narrow as its column: long captions are cut, the list shows them whole.
void Narrow(QComboBox* box) {
  box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  box->setMinimumContentsLength(5);
}

QLineEdit* DelayEdit(const char* name, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setFixedWidth(48);
  return edit;
}

// A delay box takes any text, as the settings file does; a text that is not a decimal number
// is marked until it is one again.
void MarkDecimal(QLineEdit* edit, const QString& notDecimal) {
  bool ok = true;
  try {
    image::DecimalToInt(edit->text().toStdString());
  } catch (const std::exception&) {
    ok = false;
  }
  edit->setStyleSheet(ok ? QString() : QStringLiteral("background-color: #FFD0D0;"));
  edit->setToolTip(ok ? QString() : notDecimal);
}

}  // namespace

SetupTab::SetupTab(app::Settings& settings, QWidget* parent)
    : QWidget(parent), settings_(settings) {
  setObjectName("Setup");
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(4, 4, 4, 4);
  grid->setHorizontalSpacing(6);
  grid->setVerticalSpacing(2);
  grid->addWidget(BuildPorts(), 0, 0);
  grid->addWidget(BuildDelays(), 0, 1);
  grid->addWidget(BuildClocks(), 0, 2);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(2, 1);
  Sync();
}

void SetupTab::Shown(std::function<void()> show) {
  show();
  shown_.push_back(std::move(show));
}

QString SetupTab::T(const char* key, const char* english) const {
  return tr_ ? tr_(key, english) : QString::fromUtf8(english);
}

void SetupTab::Retranslate(const Translate& tr) {
  tr_ = tr;
  for (const auto& show : shown_) show();
  ShowDevice();
}

QWidget* SetupTab::BuildPorts() {
  auto* column = new QWidget(this);
  auto* layout = new QVBoxLayout(column);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  auto portGroup = [&](const char* caption, const char* prefix,
                       std::array<QRadioButton*, 4>& buttons, int app::Settings::*field) {
    QGroupBox* box = Group(caption, column);
    auto* g = Tight(new QGridLayout(box));
    for (int i = 0; i < 4; ++i) {
      buttons[i] = new QRadioButton(QStringLiteral("COM%1").arg(i + 1), box);
      buttons[i]->setObjectName(QStringLiteral("%1%2_").arg(prefix).arg(i + 1));
      connect(buttons[i], &QRadioButton::toggled, this, [this, i, field](bool on) {
        if (!on) return;
        settings_.*field = i;
        emit PortChanged();
      });
      g->addWidget(buttons[i], i / 2, i % 2);
    }
    layout->addWidget(box);
  };
  portGroup(" Port Avr/Pic ", "com", avrPicCom_, &app::Settings::avrPicCom);
  portGroup(" Port Phoenix ", "comm", phoenixCom_, &app::Settings::phoenixCom);

  QGroupBox* box = Group("", column);
  Shown([this, box] { box->setTitle(T("PortAccess", "Port access")); });
  auto* g = Tight(new QGridLayout(box));
  backend_ = new QComboBox(box);
  backend_->setObjectName("port_backend");
  Narrow(backend_);
  for (const BackendChoice& choice : kBackendChoices) backend_->addItem(QString(), choice.name);
  Shown([this] {
    for (size_t i = 0; i < kBackendChoices.size(); ++i) {
      backend_->setItemText(static_cast<int>(i),
                            T(kBackendChoices[i].key, kBackendChoices[i].caption));
    }
  });
  connect(backend_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index < 0) return;
    settings_.portBackend = kBackendChoices[static_cast<size_t>(index)].name;
    ShowDevice();
    emit PortChanged();
  });
  deviceCom_ = new QComboBox(box);
  deviceCom_->setObjectName("device_com");
  Narrow(deviceCom_);
  deviceCom_->addItems({"COM1", "COM2", "COM3", "COM4"});
  connect(deviceCom_, &QComboBox::currentIndexChanged, this, [this] { ShowDevice(); });
  devicePath_ = new QLineEdit(box);
  devicePath_->setObjectName("device_path");
  Shown(
      [this] { devicePath_->setToolTip(T("DeviceTip", "The serial device of this COM number")); });
  connect(devicePath_, &QLineEdit::textEdited, this, [this](const QString& text) {
    if (settings_.portBackend == "ftdi") {
      settings_.ftdiDevice = text.toStdString();
    } else {
      settings_.comDevices[static_cast<size_t>(deviceCom_->currentIndex())] = text.toStdString();
    }
    emit PortChanged();
  });
  // The machine's serial devices, what each is, and which the path may name.
  QStringList paths;
  std::vector<port::SerialPortInfo> serial = port::ListSerialPorts();
  for (const port::SerialPortInfo& p : serial) paths << QString::fromStdString(p.device);
  // FTDI chips on the USB bus, by the description that picks each for the FTDI backend.
  std::vector<port::FtdiDeviceInfo> chips;
  port::MakeLibFtdiCalls()->FindAll(chips);
  QString usb;
  for (const port::FtdiDeviceInfo& d : chips) {
    paths << QString::fromStdString(port::FtdiDeviceChoice(d));
    usb += QString::fromStdString("USB " + port::DescribeFtdiDevice(d)) + QLatin1Char('\n');
  }
  devicePath_->setCompleter(new QCompleter(paths, devicePath_));
  auto* ports = new QLabel(box);
  ports->setObjectName("serial_ports");
  ports->setWordWrap(true);
  Shown([this, ports, serial = std::move(serial), usb] {
    QString found;
    for (const port::SerialPortInfo& p : serial) {
      found += QString::fromStdString(p.device + ": " + p.description) +
               (p.modemLines ? QString() : QLatin1Char(' ') + T("NoCts", "(no CTS)")) +
               QLatin1Char('\n');
    }
    found += usb;
    ports->setText(found.isEmpty() ? T("NoSerialDevices", "No serial devices found")
                                   : found.trimmed());
    ports->setToolTip(T("PortsTip", "Serial devices of this machine (vexilo-cli --list-ports)"));
  });
  g->addWidget(backend_, 0, 0, 1, 2);
  g->addWidget(deviceCom_, 1, 0);
  g->addWidget(devicePath_, 1, 1);
  g->addWidget(ports, 2, 0, 1, 2);
  simCard_ = new QComboBox(box);
  simCard_->setObjectName("sim_card");
  Narrow(simCard_);
  for (const BackendChoice& choice : kSimCardChoices) simCard_->addItem(QString(), choice.name);
  Shown([this] {
    simCard_->setToolTip(
        T("SimCardTip",
          "What runs the card loader in the simulator: the behavioural model, or the chip's own "
          "program memory on an instruction-set simulator (needs vexilo-isa-card)"));
    for (size_t i = 0; i < kSimCardChoices.size(); ++i) {
      simCard_->setItemText(static_cast<int>(i),
                            T(kSimCardChoices[i].key, kSimCardChoices[i].caption));
    }
  });
  connect(simCard_, &QComboBox::currentIndexChanged, this, [this](int index) {
    if (index < 0) return;
    settings_.simCard = kSimCardChoices[static_cast<size_t>(index)].name;
    emit PortChanged();
  });
  // The simulator's card and a device are never both in use: they share a row.
  g->addWidget(simCard_, 1, 0, 1, 2);
  layout->addWidget(box);
  layout->addStretch(1);
  return column;
}

QWidget* SetupTab::BuildDelays() {
  auto* column = new QWidget(this);
  auto* layout = new QVBoxLayout(column);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);

  QGroupBox* phoenix = Group(" Phoenix EEPROM ext ", column);
  auto* g = Tight(new QGridLayout(phoenix));
  delayExt_ = DelayEdit("delay_ext", phoenix);
  atrDelay_ = DelayEdit("atr_delay", phoenix);
  g->addWidget(new QLabel(QStringLiteral("TXDelay (ms)"), phoenix), 0, 0);
  g->addWidget(delayExt_, 0, 1);
  g->addWidget(new QLabel(QStringLiteral("ATR Delay"), phoenix), 1, 0);
  g->addWidget(atrDelay_, 1, 1);
  verEeprom_ = new QCheckBox(QStringLiteral("Write and Veryfi eep ext"), phoenix);
  verEeprom_->setObjectName("ver_eeprom");
  g->addWidget(verEeprom_, 2, 0, 1, 2);
  layout->addWidget(phoenix);

  auto delayGroup = [&](const char* caption, const char* name, std::string app::Settings::*field) {
    QGroupBox* box = Group(caption, column);
    auto* row = Tight(new QHBoxLayout(box));
    QLineEdit* edit = DelayEdit(name, box);
    row->addWidget(edit);
    auto* unit = new QLabel(box);
    Shown([this, unit] { unit->setText(T("Milliseconds", "ms")); });
    row->addWidget(unit);
    row->addStretch(1);
    layout->addWidget(box);
    return std::pair{edit, field};
  };
  auto [pic, picField] = delayGroup(" PIC Write Delay ", "pic_delay", &app::Settings::picDelay);
  auto [avr, avrField] = delayGroup(" AVR Write Delay ", "avr_delay", &app::Settings::avrDelay);
  picDelay_ = pic;
  avrDelay_ = avr;
  const std::pair<QLineEdit*, std::string app::Settings::*> edits[] = {
      {delayExt_, &app::Settings::txDelay},
      {atrDelay_, &app::Settings::atrDelay},
      {picDelay_, picField},
      {avrDelay_, avrField}};
  for (auto [edit, field] : edits) {
    connect(edit, &QLineEdit::textChanged, this, [this, edit, field](const QString& text) {
      settings_.*field = text.toStdString();
      MarkDecimal(edit, T("NotDecimal", "not a decimal number"));
    });
  }

  autoMode_ = new QCheckBox(QStringLiteral("AutoMode  KOVAD2"), column);
  autoMode_->setObjectName("auto_mode");
  layout->addWidget(autoMode_);
  connect(autoMode_, &QCheckBox::toggled, this, [this](bool on) { settings_.autoMode = on; });
  fastWrite_ = new QCheckBox(column);
  fastWrite_->setObjectName("fast_write");
  Shown([this] {
    fastWrite_->setText(T("FastWrite", "Fast write"));
    fastWrite_->setToolTip(T("FastWriteTip",
                             "AVR: whole pages, and polling instead of the write delay.\n"
                             "PIC16F876: the shorter programming-only cycle after an erase."));
  });
  connect(fastWrite_, &QCheckBox::toggled, this, [this](bool on) { settings_.fastWrite = on; });
  writeAnyChip_ = new QCheckBox(column);
  writeAnyChip_->setObjectName("write_any_chip");
  Shown([this] {
    writeAnyChip_->setText(T("WriteAnyChip", "Write any chip"));
    writeAnyChip_->setToolTip(T("WriteAnyChipTip",
                                "Write even when the chip's signature or device ID is not the "
                                "card type's\n(off: such a write is refused)."));
  });
  connect(writeAnyChip_, &QCheckBox::toggled, this,
          [this](bool on) { settings_.writeAnyChip = on; });
  connect(verEeprom_, &QCheckBox::toggled, this, [this](bool on) { settings_.verifyEeprom = on; });
  layout->addStretch(1);
  return column;
}

QWidget* SetupTab::BuildClocks() {
  auto* column = new QWidget(this);
  auto* layout = new QVBoxLayout(column);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  auto clockGroup = [&](const char* caption, const char* name, int max, QSlider*& slider,
                        QLabel*& label, int app::Settings::*field) {
    QGroupBox* box = Group(caption, column);
    auto* g = Tight(new QGridLayout(box));
    slider = new QSlider(Qt::Horizontal, box);
    slider->setObjectName(name);
    slider->setRange(0, max);
    label = new QLabel(QStringLiteral("00"), box);
    label->setObjectName(QStringLiteral("%1label").arg(name));
    label->setAlignment(Qt::AlignCenter);
    g->addWidget(new QLabel(QStringLiteral("Fast"), box), 0, 0);
    g->addWidget(slider, 0, 1);
    g->addWidget(new QLabel(QStringLiteral("Slow"), box), 0, 2);
    g->addWidget(label, 1, 1);
    QLabel* shown = label;
    connect(slider, &QSlider::valueChanged, this, [this, shown, field](int value) {
      settings_.*field = value;
      shown->setText(QString::number(value));
    });
    layout->addWidget(box);
  };
  clockGroup(" PIC Speed CLK ", "pic_clk_", app::kPicClkMax, picClk_, picClkLabel_,
             &app::Settings::picClk);
  clockGroup(" AVR Speed CLK ", "avr_clk_", app::kAvrClkMax, avrClk_, avrClkLabel_,
             &app::Settings::avrClk);

  auto* presets = new QHBoxLayout;
  presets->setSpacing(4);
  auto* win9x = new QPushButton(QStringLiteral("Default WIN 9x"), column);
  win9x->setObjectName("Button37");
  auto* winNt = new QPushButton(QStringLiteral("Default WIN NT"), column);
  winNt->setObjectName("Button38");
  connect(win9x, &QPushButton::clicked, this, [this] { PresetClicked(app::TimingPreset::Win9x); });
  connect(winNt, &QPushButton::clicked, this, [this] { PresetClicked(app::TimingPreset::WinNT); });
  presets->addWidget(win9x);
  presets->addWidget(winNt);
  layout->addLayout(presets);
  // Made with the delays they change; here, where the column has room for them.
  layout->addWidget(fastWrite_);
  layout->addWidget(writeAnyChip_);

  lang_ = new QComboBox(column);
  lang_->setObjectName("lang");
  Shown([this] { lang_->setPlaceholderText(T("Language", "Language")); });
  connect(lang_, &QComboBox::textActivated, this, [this](const QString& text) {
    settings_.language = text.toStdString();
    emit LanguageChosen(text);
  });
  layout->addWidget(lang_);

  auto* memo = new QPlainTextEdit(column);
  memo->setObjectName("Memo2");
  memo->setReadOnly(true);
  memo->setMinimumHeight(36);  // the note scrolls; the controls above it stay in view
  memo->setLineWrapMode(QPlainTextEdit::NoWrap);
  QFont small = memo->font();
  small.setStretch(QFont::SemiCondensed);
  small.setPixelSize(10);
  memo->setFont(small);
  memo->setPlainText(
      QString::fromUtf8("AVR Write Delay:\n8515 - 5-8ms\natmega128 - 6-8ms\n"
                        "atmega163 - 15-18ms\nW przypadku błędów zwiekszyć \n"
                        "wartość Speed CLK oraz Write Delay"));
  layout->addWidget(memo, 1);
  return column;
}

void SetupTab::PresetClicked(app::TimingPreset preset) {
  app::ApplyPreset(settings_, preset);
  Sync();
}

void SetupTab::ShowDevice() {
  const QSignalBlocker quiet(devicePath_);
  // The FTDI backend names its adapter by libftdi's description, one for every COM number.
  const bool ftdi = settings_.portBackend == "ftdi";
  devicePath_->setText(QString::fromStdString(
      ftdi ? settings_.ftdiDevice
           : settings_.comDevices[static_cast<size_t>(std::max(0, deviceCom_->currentIndex()))]));
  devicePath_->setPlaceholderText(
      ftdi ? T("FtdiPlaceholder",
               "the only FTDI device (or i:0x0403:0x6001, s:0x0403:0x6001:SERIAL, sim)")
           : QString());
  const bool usesDevice = settings_.portBackend != "sim";
  deviceCom_->setEnabled(usesDevice && !ftdi);
  devicePath_->setEnabled(usesDevice);
  simCard_->setEnabled(!usesDevice);
  deviceCom_->setVisible(usesDevice);
  devicePath_->setVisible(usesDevice);
  simCard_->setVisible(!usesDevice);
}

void SetupTab::Sync() {
  // Copies first: setting one control writes its value back into the settings.
  const app::Settings s = settings_;
  for (int i = 0; i < 4; ++i) {
    const QSignalBlocker a(avrPicCom_[i]), b(phoenixCom_[i]);
    avrPicCom_[i]->setChecked(s.avrPicCom == i);
    phoenixCom_[i]->setChecked(s.phoenixCom == i);
  }
  delayExt_->setText(QString::fromStdString(s.txDelay));
  atrDelay_->setText(QString::fromStdString(s.atrDelay));
  picDelay_->setText(QString::fromStdString(s.picDelay));
  avrDelay_->setText(QString::fromStdString(s.avrDelay));
  picClk_->setValue(s.picClk);
  avrClk_->setValue(s.avrClk);
  picClkLabel_->setText(QString::number(s.picClk));
  avrClkLabel_->setText(QString::number(s.avrClk));
  autoMode_->setChecked(s.autoMode);
  verEeprom_->setChecked(s.verifyEeprom);
  fastWrite_->setChecked(s.fastWrite);
  writeAnyChip_->setChecked(s.writeAnyChip);
  {
    const QSignalBlocker quiet(backend_);
    int index = 0;
    for (size_t i = 0; i < kBackendChoices.size(); ++i) {
      if (s.portBackend == kBackendChoices[i].name) index = static_cast<int>(i);
    }
    backend_->setCurrentIndex(index);
    const QSignalBlocker quietSimCard(simCard_);
    simCard_->setCurrentIndex(s.simCard == "isa" ? 1 : 0);
    const QSignalBlocker quietCom(deviceCom_);
    deviceCom_->setCurrentIndex(s.avrPicCom);
  }
  settings_ = s;
  ShowDevice();
}

}  // namespace vexilo::gui
