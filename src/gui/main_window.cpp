#include "gui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QInputDialog>
#include <QKeySequence>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

#include "app/progress_estimate.h"
#include "app/settings.h"
#include "app/settings_location.h"
#include "gui/command_runner.h"
#include "gui/fuse_form.h"
#include "gui/grid_model.h"
#include "gui/info_tab.h"
#include "gui/option_panel_widgets.h"
#include "gui/setup_tab.h"
#include "gui/test_tabs.h"
#include "gui/tool_icons.h"
#include "port/backend.h"

namespace vexilo::gui {
namespace {

constexpr int kClientWidth = 578;
constexpr int kClientHeight = 519;
constexpr int kOptionPanelTop = 464;
// The smallest height the window may take: the grids and the log still show some rows.
constexpr int kMinClientHeight = 400;
// Room for the window manager's title bar when the screen is smaller than the window.
constexpr int kTitleBarAllowance = 40;

// The dialog filters, in the form of the file dialogs of Windows ("text|pattern|...").
constexpr char kFlashLoadFilter[] = "HEX files (*.hex)|*.hex|All files (*.*)|*.*";
constexpr char kEepromLoadFilter[] =
    "HEX files (*.hex)|*.hex|BIN files (*.bin)|*.bin|All files (*.*)|*.*";
constexpr char kSaveFilter[] = "HEX files (*.hex)|*.hex|All files (*.*)|*.*";

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

QFont UiFont() {
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(11);
  return font;
}

QFont MonoFont() {
  QFont font(QStringLiteral("DejaVu Sans Mono"));
  font.setStyleHint(QFont::Monospace);
  font.setPixelSize(11);
  return font;
}

FileDialogAnswer DefaultFileDialog(QWidget* parent, const FileDialogRequest& request) {
  // The desktop's own dialog where it has one (the portal), else Qt's.
  QFileDialog dialog(parent, request.title, request.startFolder);
  dialog.setNameFilters(request.filters);
  dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return {dialog.selectedFiles().first(),
          static_cast<int>(request.filters.indexOf(dialog.selectedNameFilter()))};
}

// The status bar's system line for the port access the settings choose, and what stands
// behind it.
QString SystemLineOf(const app::Settings& settings) {
  const QString line = QString::fromUtf8(port::kLinuxSystemLine);
  if (settings.portBackend == "sim") return line + QStringLiteral(" (simulator)");
  if (settings.portBackend == "io") return line + QStringLiteral(" (port I/O)");
  if (settings.portBackend == "tty") {
    return line + QStringLiteral(" (%1)").arg(Q(settings.comDevices[settings.avrPicCom]));
  }
  if (settings.portBackend == "ftdi") {
    return line + QStringLiteral(" (FTDI %1)")
                      .arg(settings.ftdiDevice.empty() ? QStringLiteral("USB adapter")
                                                       : Q(settings.ftdiDevice));
  }
  return line + QStringLiteral(" (unknown port access \"%1\")").arg(Q(settings.portBackend));
}

// The port report "Port[3F8]:Open" names the UART's base; on the simulator and on an FTDI
// adapter there is no such base to see, so the report names the device instead.
QString PortReportOfDevice(const QString& report, const app::Settings& settings) {
  if (!report.startsWith(QStringLiteral("Port["))) return report;
  const qsizetype close = report.indexOf(']');
  if (close < 0) return report;
  QString device;
  if (settings.portBackend == "sim") {
    device = QStringLiteral("sim COM%1").arg(settings.avrPicCom + 1);
  } else if (settings.portBackend == "ftdi") {
    device = settings.ftdiDevice.empty() ? QStringLiteral("FTDI")
                                         : QStringLiteral("FTDI %1").arg(Q(settings.ftdiDevice));
  } else {
    return report;
  }
  return device + report.mid(close + 1);
}

// The menu items: name, caption, and the command an item runs (load and save items run none).
struct MenuItem {
  const char* name;
  const char* caption;
  bool runs;
  app::Command command;
};

using C = app::Command;
const std::array<std::vector<MenuItem>, 5>& MenuItems() {
  static const std::array<std::vector<MenuItem>, 5> kMenus{{
      {{"WczytajFLASH1", "Wczytaj FLASH", false, {}},
       {"WczytajEEPROMint1", "Wczytaj EEPROM int", false, {}},
       {"WczytajEEPROMext1", "Wczytaj EEPROM ext", false, {}}},
      {{"ZapiszFLASH1", "Zapisz FLASH", false, {}},
       {"ZapiszEEPROMint1", "Zapisz EEPROM int", false, {}},
       {"ZapiszEEPROMext1", "Zapisz EEPROM ext", false, {}}},
      {{"OdczytajFLASH1", "Odczytaj FLASH", true, C::ReadFlash},
       {"OdczytajEEPROMint1", "Odczytaj EEPROM int", true, C::ReadEepromInt},
       {"OdczytEEPROMext1", "Odczytaj EEPROM ext", true, C::ReadEepromExt},
       {"OdczytFLASHEEPROMint1", "Odczytaj FLASH/EEPROM int", true, C::ReadFlashEepromInt},
       {"Odczytajustawienia1", "Odczytaj ustawienia karty", true, C::ReadConfig}},
      {{"ProgramujFLASH1", "Programuj FLASH", true, C::ProgramFlash},
       {"ProgramujEEPROMint1", "Programuj EEPROM int", true, C::ProgramEepromInt},
       {"ProgramujEEPROMext1", "Programuj EEPROM ext", true, C::ProgramEepromExt},
       {"ProgramujFULL1", "Programuj Flash/EEp int/EEp ext", true, C::ProgramFull},
       {"ProgramujFlashEepromint1", "Programuj Flash/EEp int", true, C::ProgramFlashEepromInt}},
      {{"W1", "Weryfikacja FLASH", true, C::VerifyFlash},
       {"WeryfikacjaEEPROMint1", "Weryfikacja EEPROM int", true, C::VerifyEepromInt},
       {"WeryfikacjaEEPROMext1", "Weryfikacja EEPROM ext", true, C::VerifyEepromExt},
       {"WeryfikacjaFLASHEEPROMint1", "Weryfikacja FLASH/EEPROM int", true,
        C::VerifyFlashEepromInt}},
  }};
  return kMenus;
}

// The items a card type without an external EEPROM greys.
constexpr const char* kExtItems[] = {"WczytajEEPROMext1",     "ZapiszEEPROMext1",
                                     "ProgramujFULL1",        "ProgramujEEPROMext1",
                                     "WeryfikacjaEEPROMext1", "OdczytEEPROMext1"};

// A tool button's tooltip: its caption and its Alt key.
QString ToolTipOf(const QString& caption) {
  QString tip = caption;
  tip.remove('&');
  const QKeySequence key = QKeySequence::mnemonic(caption);
  if (!key.isEmpty()) tip += QStringLiteral(" (%1)").arg(key.toString(QKeySequence::NativeText));
  return tip;
}

// The group box caption of an image, for the recent files.
QString ImageCaption(app::ImageId id) {
  static constexpr const char* kNames[] = {"FLASH", "EEPROM int", "EEPROM ext"};
  return QString::fromLatin1(kNames[static_cast<int>(id)]);
}

std::optional<app::ImageId> ImageIdByName(const std::string& name) {
  for (app::ImageId id : {app::ImageId::Flash, app::ImageId::EepromInt, app::ImageId::EepromExt}) {
    if (name == app::ImageName(id)) return id;
  }
  return std::nullopt;
}

// Folders to look for the language packs in, in order.
QStringList LanguageDirCandidates() {
  QStringList dirs{QDir::current().filePath(QStringLiteral("lang")),
                   QDir(QCoreApplication::applicationDirPath())
                       .filePath(QStringLiteral("../share/vexilo/lang"))};
#ifdef VEXILO_SOURCE_LANG_DIR
  dirs << QStringLiteral(VEXILO_SOURCE_LANG_DIR);
#endif
  return dirs;
}

}  // namespace

QStringList QtFilters(const char* filter) {
  const QStringList parts = QString::fromUtf8(filter).split('|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString text = parts[i];
    const QString pattern =
        parts[i + 1] == QStringLiteral("*.*") ? QStringLiteral("*") : parts[i + 1];
    text = text.left(text.indexOf('(')).trimmed();
    filters << QStringLiteral("%1 (%2)").arg(text, pattern);
  }
  return filters;
}

TForm1::TForm1(WindowOptions options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                          Qt::WindowCloseButtonHint),
      runner_(std::make_unique<CommandRunner>(ws_, dialogs_, std::move(options.simStateDir))),
      fileDialog_(DefaultFileDialog),
      langDir_(options.langDir),
      settingsPath_(app::SettingsPath(options.settingsPath)),
      locale_(options.locale.isEmpty() ? QLocale::system().name() : options.locale) {
  setObjectName("Form1");
  setWindowTitle(kWindowCaption);
  setWindowIcon(MakeWindowIcon());
  setFont(UiFont());
  setMinimumSize(kClientWidth, kMinClientHeight);
  int height = kClientHeight;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    height = std::clamp(screen->availableGeometry().height() - kTitleBarAllowance, kMinClientHeight,
                        kClientHeight);
  }
  resize(kClientWidth, height);
  FillDefaultDialogs();
  runner_->SetSimAdapterSwitchesItself(true);
  app::MakeSettingsFolder(settingsPath_);

  BuildToolBar();
  BuildPanel1();
  BuildPages();
  BuildLogAndPanels();
  BuildStatusBar();
  BuildShortcuts();
  LayOut();
  fuseForms_ = {new FuseForm(ws_.fuse128, this), new FuseForm(ws_.fuse163, this),
                new FuseForm(ws_.fuse8515, this)};
  ConnectRunner();
  FormCreate();
  SetUpEditing();
}

TForm1::~TForm1() {
  runner_->WaitForIdle();
  runner_->Shutdown();
  QCoreApplication::removeTranslator(&qtTranslator_);
}

void TForm1::FillDefaultDialogs() {
  dialogs_.askYesNo = [this](const QString& question) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("VEXILO"), question,
                    QMessageBox::Yes | QMessageBox::No, this);
    return box.exec() == QMessageBox::Yes;
  };
  dialogs_.showInfo = [this](const QString& text) {
    QMessageBox::information(this, QStringLiteral("VEXILO"), text);
  };
  dialogs_.showMessage = [this](const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("VEXILO"), text, QMessageBox::Ok, this);
    box.exec();
  };
}

QAction* TForm1::AddItem(QMenu* menu, const char* name, const char* caption) {
  QAction* action = menu->addAction(QString::fromUtf8(caption));
  action->setObjectName(name);
  allowed_[action] = true;
  return action;
}

void TForm1::BuildToolBar() {
  auto* bar = new QToolBar(this);
  toolBar_ = bar;
  bar->setObjectName("ToolBar1");
  bar->setIconSize(QSize(28, 28));
  bar->setMovable(false);
  bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  bar->setStyleSheet(
      QStringLiteral("QToolBar { padding: 0px; spacing: 0px; border: none; }"
                     "QToolButton { padding: 0px 1px 0px 1px; margin: 0px; }"));

  struct Button {
    const char* name;
    const char* caption;
    ToolIcon icon;
    int menu;  // -1: none
  };
  static constexpr Button kButtons[] = {
      {"ToolButton1", "&Wczytaj Plik", ToolIcon::Load, 0},
      {"ToolButton2", "&Zapisz Plik", ToolIcon::Save, 1},
      {"ToolButton4", "&Odczytaj", ToolIcon::Read, 2},
      {"ToolButton5", "&Programuj", ToolIcon::Program, 3},
      {"ToolButton6", "W&eryfikuj", ToolIcon::Verify, 4},
      {"ToolButton7", "&Kasuj", ToolIcon::Erase, -1},
      {"ToolButton10", "&Set BIT", ToolIcon::SetBits, -1},
  };
  for (size_t i = 0; i < std::size(kButtons); ++i) {
    const Button& b = kButtons[i];
    auto* button = new QToolButton(bar);
    button->setObjectName(b.name);
    button->setText(QString::fromUtf8(b.caption));
    button->setIcon(MakeToolIcon(b.icon));
    button->setIconSize(QSize(28, 28));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    if (b.menu >= 0) {
      auto* menu = new QMenu(button);
      menu->setObjectName(QStringLiteral("PopupMenu%1").arg(b.menu + 1));
      for (const MenuItem& item : MenuItems()[static_cast<size_t>(b.menu)]) {
        QAction* action = AddItem(menu, item.name, item.caption);
        if (item.runs) {
          commands_[action] = item.command;
          const app::Command command = item.command;
          connect(action, &QAction::triggered, this, [this, command] { RunCommandItem(command); });
        }
      }
      menus_[static_cast<size_t>(b.menu)] = menu;
      button->setMenu(menu);
      // The button's body opens its menu too; only the items act.
      button->setPopupMode(QToolButton::MenuButtonPopup);
      connect(button, &QToolButton::clicked, button, &QToolButton::showMenu);
    }
    toolButtons_[i] = button;
    bar->addWidget(button);
    if (i == 1) bar->addSeparator();
  }
  // Detect card: which card is in the reader; the card type that fits is chosen.
  detect_ = new QToolButton(bar);
  detect_->setObjectName("ToolButtonDetect");
  detect_->setText(Text(app::kDetectCardKey));
  detect_->setIcon(MakeToolIcon(ToolIcon::Read));
  detect_->setIconSize(QSize(28, 28));
  detect_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  detect_->setAutoRaise(true);
  detect_->setFocusPolicy(Qt::NoFocus);
  connect(detect_, &QToolButton::clicked, this, [this] { RunCommandItem(C::Detect); });
  bar->addSeparator();
  bar->addWidget(detect_);
  // Stop, at the right end; enabled while a command runs.
  auto* gap = new QWidget(bar);
  gap->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
  bar->addWidget(gap);
  stop_ = new QToolButton(bar);
  stop_->setObjectName("ToolButtonStop");
  stop_->setText(Tr("Stop", "S&top"));
  stop_->setIcon(MakeToolIcon(ToolIcon::Stop));
  stop_->setIconSize(QSize(28, 28));
  stop_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  stop_->setAutoRaise(true);
  stop_->setFocusPolicy(Qt::NoFocus);
  stop_->setEnabled(false);
  stop_->setToolTip(Tr("StopTip", "Stop the running command (Esc)"));
  connect(stop_, &QToolButton::clicked, this, &TForm1::RequestStop);
  bar->addWidget(stop_);
  BuildHelpMenu();

  connect(toolButtons_[5], &QToolButton::clicked, this, [this] { RunCommandItem(C::Erase); });
  connect(toolButtons_[6], &QToolButton::clicked, this, [this] { RunCommandItem(C::SetBits); });

  static constexpr app::ImageId kIds[] = {app::ImageId::Flash, app::ImageId::EepromInt,
                                          app::ImageId::EepromExt};
  for (int i = 0; i < 3; ++i) {
    const app::ImageId id = kIds[i];
    QAction* load = menus_[0]->actions()[i];
    loadItems_.push_back(load);
    connect(load, &QAction::triggered, this, [this, id] { LoadImage(id); });
    connect(menus_[1]->actions()[i], &QAction::triggered, this, [this, id] { SaveImage(id); });
  }
  // The files loaded last follow the three load items.
  menus_[0]->setToolTipsVisible(true);
  recentSeparator_ = menus_[0]->addSeparator();
  recentSeparator_->setVisible(false);
}

void TForm1::BuildPanel1() {
  auto* panel = new QFrame(this);
  panel1_ = panel;
  panel->setObjectName("Panel1");
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);

  typ_ = new QComboBox(panel);
  typ_->setObjectName("typ");
  typ_->setEditable(true);
  typ_->setInsertPolicy(QComboBox::NoInsert);
  for (const app::CardType& card : app::CardTypes()) typ_->addItem(Q(card.text));
  typ_->setGeometry(5, 4, 252, 22);
  typ_->setEditText(QStringLiteral("Fun Card - 90S8515 + 24C64"));
  connect(typ_, &QComboBox::currentTextChanged, this, &TForm1::typChange);

  procent_ = new QProgressBar(panel);
  procent_->setObjectName("procent");
  procent_->setTextVisible(false);
  procent_->setRange(0, 100);
  procent_->setValue(0);

  adr_ = new QLabel(QStringLiteral(":0000"), panel);
  adr_->setObjectName("adr_");
  adr_->setFont(MonoFont());
}

void TForm1::BuildPages() {
  pages_ = new QTabWidget(this);
  pages_->setObjectName("PageControl1");

  auto groupWithGrid = [this](QWidget* page, int index, const char* name, const char* caption,
                              const image::MemoryImage& image, const char* gridName) {
    auto* box = new QGroupBox(QString::fromUtf8(caption), page);
    box->setObjectName(name);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(2, 2, 2, 2);
    auto* grid = new ImageGrid(image, box);
    grid->setObjectName(gridName);
    const auto id = static_cast<app::ImageId>(index);
    connect(grid, &ImageGrid::FileDropped, this,
            [this, id](const QString& path) { LoadDroppedFile(id, path); });
    layout->addWidget(grid);
    // The sum and CRC-32 of the image, to compare with a reference.
    auto* checksum = new QLabel(box);
    checksum->setObjectName(QStringLiteral("%1_checksum").arg(gridName));
    checksum->setFont(MonoFont());
    checksum->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(checksum);
    checksums_[static_cast<size_t>(index)] = checksum;
    groups_[static_cast<size_t>(index)] = box;
    return std::pair{box, grid};
  };

  auto* flashPage = new QWidget(pages_);
  flashPage->setObjectName("TabSheet1");
  auto* flashLayout = new QVBoxLayout(flashPage);
  flashLayout->setContentsMargins(2, 0, 2, 2);
  flashLayout->setSpacing(0);
  auto [flashBox, flashGrid] =
      groupWithGrid(flashPage, 0, "GroupBox1", " FLASH ", ws_.flash, "flash");
  auto [intBox, intGrid] =
      groupWithGrid(flashPage, 1, "GroupBox2", " EEPROM int ", ws_.eepromInt, "eeprom_int");
  flashLayout->addWidget(flashBox, 3);
  flashLayout->addWidget(intBox, 2);
  flash_ = flashGrid;
  eepromInt_ = intGrid;

  auto* extPage = new QWidget(pages_);
  extPage->setObjectName("TabSheet2");
  auto* extLayout = new QVBoxLayout(extPage);
  extLayout->setContentsMargins(2, 0, 2, 2);
  auto [extBox, extGrid] =
      groupWithGrid(extPage, 2, "GroupBox3", " EEPROM ext ", ws_.eepromExt, "eeprom_ext");
  extLayout->addWidget(extBox);
  eepromExt_ = extGrid;

  setup_ = new SetupTab(ws_.settings, pages_);
  connect(setup_, &SetupTab::PortChanged, this, &TForm1::ShowSystemLine);
  connect(setup_, &SetupTab::LanguageChosen, this, &TForm1::ApplyLanguage);

  pages_->addTab(flashPage, QStringLiteral("FLASH"));
  pages_->addTab(extPage, QStringLiteral("EEPROM ext"));
  // The Setup controls scroll when the window is made smaller than they are.
  auto* setupScroll = new QScrollArea(pages_);
  setupScroll->setObjectName("SetupScroll");
  setupScroll->setFrameShape(QFrame::NoFrame);
  setupScroll->setWidgetResizable(true);
  setupScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  setupScroll->setWidget(setup_);
  pages_->addTab(setupScroll, QStringLiteral("Setup"));
  pages_->addTab(new InfoTab(pages_), QStringLiteral("Info"));
  pages_->addTab(new TestKoVadPage(*runner_, pages_), QStringLiteral("Test KO-VAD"));
  auto* koVad2 = new TestKoVad2Page(*runner_, pages_);
  connect(koVad2, &TestKoVad2Page::BurstReport, this,
          [this](const QString& text) { pasek_->showMessage(text, 5000); });
  pages_->addTab(koVad2, QStringLiteral("Test KO-VAD2"));
  pages_->setCurrentIndex(kInfoPage);
}

void TForm1::BuildLogAndPanels() {
  log_ = new QTextEdit(this);
  log_->setObjectName("log");
  log_->setReadOnly(true);
  log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Long lines wrap: the start of every line stays in view.
  log_->setLineWrapMode(QTextEdit::WidgetWidth);
  QFont font = MonoFont();
  log_->setFont(font);
  log_->document()->setDefaultFont(font);

  gfun_ = new FunPanelWidget(ws_.options, this);
  gpic_ = new PicPanelWidget(ws_.options, this);
  gpic2_ = new Pic2PanelWidget(ws_.options, this);
  for (OptionPanelWidget* panel : {static_cast<OptionPanelWidget*>(gfun_), gpic_, gpic2_}) {
    connect(panel, &OptionPanelWidget::DoubleClicked, this, &TForm1::RequestStop);
    connect(panel, &OptionPanelWidget::ExtSizeChosen, this, [this, panel](int index) {
      // A size sets up a new, blank image: its edits not saved go only when the user lets them.
      if (!ConfirmDiscard({app::ImageId::EepromExt})) {
        panel->Sync();
        return;
      }
      try {
        ws_.SelectExtSize(index);
      } catch (const std::exception& e) {
        dialogs_.showMessage(QString::fromStdString(e.what()));
      }
      edits_.Resized(app::ImageId::EepromExt);
      ImagesChanged();
    });
  }
  connect(gfun_->fuse, &QPushButton::clicked, this, [this] { OpenFuseForm(0); });
  connect(gfun_->button39, &QPushButton::clicked, this, [this] { OpenFuseForm(1); });
  connect(gfun_->button40, &QPushButton::clicked, this, [this] { OpenFuseForm(2); });
}

void TForm1::BuildStatusBar() {
  pasek_ = new QStatusBar(this);
  pasek_->setObjectName("pasek");
  pasek_->setSizeGripEnabled(false);
  pasek_->setContentsMargins(0, 0, 0, 0);
  // Panel widths 80, 365, 50 leave the port reports of panels 0 and 2 cut off in a readable
  // font; the session report gets the rest of the bar.
  static constexpr int kWidths[] = {96, 330, 0};
  for (int i = 0; i < 3; ++i) {
    auto* panel = new QLabel(pasek_);
    panel->setObjectName(QStringLiteral("pasek_panel%1").arg(i));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel->setContentsMargins(2, 0, 2, 0);
    if (kWidths[i]) panel->setFixedWidth(kWidths[i]);
    pasek_->addWidget(panel, kWidths[i] ? 0 : 1);
    panel->installEventFilter(this);
    statusPanels_[static_cast<size_t>(i)] = panel;
  }
  timePanel_ = new QLabel(pasek_);
  timePanel_->setObjectName("pasek_time");
  timePanel_->setContentsMargins(2, 0, 2, 0);
  pasek_->addPermanentWidget(timePanel_);
  pasek_->installEventFilter(this);
}

void TForm1::BuildShortcuts() {
  auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(esc, &QShortcut::activated, this, &TForm1::RequestStop);
  auto* goTo = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_G), this);
  connect(goTo, &QShortcut::activated, this, &TForm1::GoToAddress);
}

void TForm1::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  LayOut();
}

void TForm1::LayOut() {
  if (!pasek_) return;
  const int w = width(), h = height();
  const int extra = h - kClientHeight;
  const int logExtra = extra / 4;
  const int pagesExtra = extra - logExtra;
  toolBar_->setGeometry(0, 0, w, 50);
  panel1_->setGeometry(0, 50, w, 30);
  procent_->setGeometry(264, 6, w - 321, 18);
  adr_->setGeometry(w - 50, 6, 48, 18);
  pages_->setGeometry(0, 80, w, 290 + pagesExtra);
  log_->setGeometry(0, 370 + pagesExtra, w - 1, 92 + logExtra);
  for (OptionPanelWidget* panel : {static_cast<OptionPanelWidget*>(gfun_), gpic_, gpic2_}) {
    panel->setGeometry(0, kOptionPanelTop + extra, w - 1, 37);
  }
  pasek_->setGeometry(0, h - 17, w, 17);
}

void TForm1::RequestStop() {
  if (runner_->Busy()) runner_->RequestStop();
}

void TForm1::ConnectRunner() {
  GuiOperator& op = runner_->Operator();
  connect(&op, &GuiOperator::LogLine, this, &TForm1::AppendLog);
  connect(&op, &GuiOperator::ProgressChanged, this, [this](quint32 position, quint32 maximum) {
    // A maximum of 0 would turn the bar into a busy indicator.
    procent_->setMaximum(static_cast<int>(std::max<quint32>(maximum, 1)));
    procent_->setValue(static_cast<int>(std::min(position, maximum)));
  });
  connect(&op, &GuiOperator::AddressChanged, adr_, &QLabel::setText);
  connect(&op, &GuiOperator::TimesChanged, this, [this](const QString& text) {
    timePanel_->setText(runner_->LastSimulated() ? Tr("Simulated", "%1 (simulated)").arg(text)
                                                 : text);
  });
  connect(&op, &GuiOperator::StatusPanelChanged, this, [this](int index, const QString& text) {
    if (index < 0 || index >= 3) return;
    QLabel* panel = statusPanels_[static_cast<size_t>(index)];
    panel->setText(index == 0 ? PortReportOfDevice(text, ws_.settings) : text);
    panel->setToolTip(panel->text());
  });
  connect(&op, &GuiOperator::SessionBusyChanged, this, [this](bool busy) {
    if (busy) {
      setCursor(Qt::BusyCursor);
    } else {
      unsetCursor();
    }
  });
  connect(runner_.get(), &CommandRunner::BusyChanged, this, &TForm1::SetBusy);
  connect(
      runner_.get(), &CommandRunner::Finished, this,
      [this](app::Command command, bool /*failed*/, bool ran) {
        // The card type that fits the card in the reader, unless the chosen one does.
        if (command == app::Command::Detect && ran && !ws_.detected.empty() &&
            std::find(ws_.detected.begin(), ws_.detected.end(), ws_.CardTypeText()) ==
                ws_.detected.end()) {
          typ_->setEditText(Q(ws_.detected.front()));
        }
        edits_.AfterReplace(ws_);
        ImagesChanged();
        // The last command's time stays until the next one starts.
        const uint64_t us = runner_->LastDurationUs();
        const QString took = us < 60'000'000
                                 ? QStringLiteral("%1 s").arg(double(us) / 1e6, 0, 'f', 1)
                                 : Q(app::DurationText(us));
        timePanel_->setText(runner_->LastSimulated()
                                ? Tr("LastSimulated", "took %1 (simulated)").arg(took)
                                : Tr("Last", "took %1").arg(took));
        SyncOptionPanels();
        ShowSystemLine();
        // A command the card type has no sequence for (its item is greyed, but a typed
        // card type text can change under it): say so rather than nothing.
        if (!ran && ws_.Card()) {
          QString item;
          for (const auto& [action, c] : commands_) {
            if (c == command) item = action->text().remove('&');
          }
          if (command == app::Command::Erase) item = toolButtons_[5]->text().remove('&');
          if (command == app::Command::SetBits) item = toolButtons_[6]->text().remove('&');
          dialogs_.showMessage(
              Tr("NotAvailable", "%1: not available for the %2").arg(item, Q(ws_.CardTypeText())));
        }
      });
}

void TForm1::FormCreate() {
  pages_->setTabVisible(kTestKoVadPage, false);
  pages_->setTabVisible(kTestKoVad2Page, false);
  std::vector<std::string> settingProblems;
  ws_.settings = app::LoadSettings(settingsPath_, &settingProblems);
  setup_->Sync();
  ShowSystemLine();
  {
    const QSignalBlocker quiet(typ_);
    typ_->setEditText(Q(ws_.settings.cardType));
  }
  CardTypeSwitch();
  ScanLanguagePacks();
  recentFiles_ = app::LoadRecentFiles(settingsPath_);
  ShowRecentFiles();
  // Values of config.cfg that could not be taken: the controls keep their defaults.
  for (const std::string& problem : settingProblems) AppendLog(Q(problem), true);
}

void TForm1::typChange(const QString& text) {
  // A card type sets up new, blank images: edits not saved go only when the user lets them.
  if (app::FindCardType(text.toStdString()) &&
      !ConfirmDiscard({app::ImageId::Flash, app::ImageId::EepromInt, app::ImageId::EepromExt})) {
    const QSignalBlocker quiet(typ_);
    const QString before = Q(ws_.settings.cardType);
    const int index = typ_->findText(before);
    if (index >= 0) typ_->setCurrentIndex(index);
    typ_->setEditText(before);
    return;
  }
  // The log is kept: what happened on the card before stays readable.
  if (!log_->document()->isEmpty()) {
    AppendLog(Tr("CardTypeChanged", "Card type changed: %1").arg(text), false);
  }
  ws_.settings.cardType = text.toStdString();
  CardTypeSwitch();
  try {
    app::SaveCardType(settingsPath_, ws_.settings.cardType);
  } catch (const std::exception& e) {
    dialogs_.showMessage(QString::fromStdString(e.what()));
  }
}

void TForm1::CardTypeSwitch() {
  const std::string text = typ_->currentText().toStdString();
  const app::CardType* card = app::FindCardType(text);
  ws_.SetCardTypeText(text);
  ShowSystemLine();
  // A text that names no card type leaves the panels, the menus and the images as they were.
  if (!card) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);

  const bool fun = card->panel == app::OptionPanel::Fun;
  for (const char* name : {"c64", "c128", "c256", "C512"}) {
    gfun_->findChild<QWidget*>(name)->setVisible(card->HasExternalEeprom());
  }
  gfun_->fuse->setVisible(card->fuseDialog == app::FuseDialog::ATmega128);
  gfun_->fuse->move(10, 6);
  gfun_->button39->setVisible(card->fuseDialog == app::FuseDialog::ATmega163);
  gfun_->button40->setVisible(card->fuseDialog == app::FuseDialog::ATmega8515);
  gfun_->button39->move(6, 6);
  gfun_->button40->move(6, 6);
  gfun_->findChild<QWidget*>("CheckBox1")->setVisible(card->lockBitBoxes);
  gfun_->findChild<QWidget*>("CheckBox2")->setVisible(card->lockBitBoxes);

  auto allow = [this](const char* name, bool on) {
    for (auto& [action, allowed] : allowed_) {
      if (action->objectName() == QLatin1String(name)) allowed = on;
    }
  };
  for (const char* name : kExtItems) allow(name, card->HasExternalEeprom());
  const bool pic = card->family == app::Family::Pic;
  allow("WczytajEEPROMint1", !pic);
  allow("ZapiszEEPROMint1", !pic);
  // The AT90S8515 has lock bits only; there is nothing of it to read back.
  allow("Odczytajustawienia1", pic || card->fuseDialog != app::FuseDialog::None);

  OptionPanelWidget* shown = fun ? static_cast<OptionPanelWidget*>(gfun_)
                             : card->panel == app::OptionPanel::Pic ? gpic_
                                                                    : gpic2_;
  for (OptionPanelWidget* panel : {static_cast<OptionPanelWidget*>(gfun_), gpic_, gpic2_}) {
    panel->setVisible(panel == shown);
  }
  LayOut();
  shown->raise();

  edits_.Reset();
  ImagesChanged();
  SyncOptionPanels();
  ApplyEnabled();
  QApplication::restoreOverrideCursor();
}

void TForm1::ApplyEnabled() {
  for (auto& [action, allowed] : allowed_) {
    const bool stopped =
        busy_ && (commands_.count(action) ||
                  std::find(loadItems_.begin(), loadItems_.end(), action) != loadItems_.end());
    action->setEnabled(allowed && !stopped);
  }
  for (const auto& [action, id] : recentItems_) {
    action->setEnabled(!busy_ && allowed_[loadItems_[static_cast<size_t>(id)]]);
  }
}

void TForm1::SetBusy(bool busy) {
  busy_ = busy;
  if (busy) timePanel_->clear();
  ApplyEnabled();
  typ_->setEnabled(!busy);
  // Everything but saving waits for the running command: ToolButton1, 4, 5, 6, 7, 10.
  for (size_t i : {0u, 2u, 3u, 4u, 5u, 6u}) toolButtons_[i]->setEnabled(!busy);
  detect_->setEnabled(!busy);
  stop_->setEnabled(busy);
  // The adapter test pages drive the port the command uses.
  pages_->widget(kTestKoVadPage)->setEnabled(!busy);
  pages_->widget(kTestKoVad2Page)->setEnabled(!busy);
  for (OptionPanelWidget* panel : {static_cast<OptionPanelWidget*>(gfun_), gpic_, gpic2_}) {
    panel->SetControlsEnabled(!busy);
  }
}

void TForm1::RefreshGrids() {
  flash_->Refresh();
  eepromInt_->Refresh();
  eepromExt_->Refresh();
}

void TForm1::SyncOptionPanels() {
  gfun_->Sync();
  gpic_->Sync();
  gpic2_->Sync();
}

void TForm1::ShowSystemLine() {
  QLabel* line = statusPanels_[1];
  if (!ws_.Card()) {
    line->setText(Tr("UnknownCardStatus", "Unknown card type \"%1\": choose one from the list")
                      .arg(Q(ws_.CardTypeText())));
    line->setStyleSheet(QStringLiteral("color: #C00000;"));
  } else {
    line->setText(SystemLineOf(ws_.settings));
    line->setStyleSheet({});
  }
  line->setToolTip(line->text());
}

bool TForm1::CardTypeKnown() {
  if (ws_.Card()) return true;
  AppendLog(Tr("UnknownCardLog",
               "Unknown card type \"%1\": nothing was done; choose a card type from the list")
                .arg(Q(ws_.CardTypeText())),
            true);
  return false;
}

void TForm1::AppendLog(const QString& text, bool error) {
  QTextCursor cursor(log_->document());
  cursor.movePosition(QTextCursor::End);
  QTextCharFormat format;
  format.setForeground(error ? QColor(255, 0, 0) : QColor(0, 0, 0));
  if (!log_->document()->isEmpty()) cursor.insertBlock(QTextBlockFormat(), format);
  cursor.insertText(text, format);
  // The newest line stays in view.
  log_->setTextCursor(cursor);
  log_->ensureCursorVisible();
}

void TForm1::RunCommandItem(app::Command command) {
  if (busy_ || !CardTypeKnown()) return;
  // A read replaces images: Undo gives them back.
  edits_.Record(ws_);
  runner_->Start(command);
}

void TForm1::OpenFuseForm(int which) { fuseForms_[static_cast<size_t>(which)]->exec(); }

QString TForm1::Text(int key) const {
  auto it = ws_.texts.find(key);
  return it == ws_.texts.end() ? QString() : QString::fromStdString(it->second);
}

void TForm1::SetGroupCaption(app::ImageId id, const std::string& file) {
  static constexpr const char* kCaptions[] = {" FLASH : ", " EEPROM int : ", " EEPROM ext : "};
  groups_[static_cast<size_t>(id)]->setTitle(kCaptions[static_cast<int>(id)] + Q(file) + ' ');
}

void TForm1::LoadImage(app::ImageId id) {
  if (busy_ || !CardTypeKnown()) return;
  pages_->setCurrentIndex(id == app::ImageId::EepromExt ? kEepromExtPage : kFlashPage);
  const QString here = QDir::currentPath();
  FileDialogRequest request;
  request.title = Text(100 + static_cast<int>(id));
  request.filters = QtFilters(id == app::ImageId::Flash ? kFlashLoadFilter : kEepromLoadFilter);
  request.startFolder = loadFolder_.isEmpty() ? here : loadFolder_;
  const FileDialogAnswer answer = fileDialog_(this, request);
  const QString& path = answer.path;
  QDir::setCurrent(here);
  if (path.isEmpty()) return;
  loadFolder_ = QFileInfo(path).absolutePath();
  // The EEPROM filters: HEX, BIN, or all files (then the name decides).
  static constexpr app::EepromFileFormat kFormats[] = {
      app::EepromFileFormat::Hex, app::EepromFileFormat::Bin, app::EepromFileFormat::ByName};
  // A ".bin" name is raw bytes whatever filter was selected, as a dropped one is.
  const app::EepromFileFormat format =
      id == app::ImageId::Flash || answer.filter < 0 || answer.filter > 2 ||
              path.endsWith(QStringLiteral(".bin"), Qt::CaseInsensitive)
          ? app::EepromFileFormat::ByName
          : kFormats[answer.filter];
  LoadImageFrom(id, path, format);
}

bool TForm1::LoadImageFrom(app::ImageId id, const QString& path, app::EepromFileFormat format) {
  // A FLASH file carries the internal EEPROM image too.
  const bool withInt = id == app::ImageId::Flash;
  if (!(withInt ? ConfirmDiscard({id, app::ImageId::EepromInt}) : ConfirmDiscard({id}))) {
    return false;
  }
  edits_.Record(ws_);
  if (id == app::ImageId::Flash) QApplication::setOverrideCursor(Qt::WaitCursor);
  try {
    SetGroupCaption(id, app::LoadImageFile(ws_, id, path.toStdString(), format));
  } catch (const std::exception& e) {
    if (id == app::ImageId::Flash) QApplication::restoreOverrideCursor();
    edits_.DropIfUnchanged(ws_);
    dialogs_.showMessage(QString::fromStdString(e.what()));
    return false;
  }
  edits_.ClearMarks(id);
  if (withInt) edits_.ClearMarks(app::ImageId::EepromInt);
  ImagesChanged();
  SyncOptionPanels();
  if (id == app::ImageId::Flash) QApplication::restoreOverrideCursor();
  AddRecentFile(id, path);
  return true;
}

void TForm1::LoadDroppedFile(app::ImageId id, const QString& path) {
  if (busy_) {
    dialogs_.showMessage(
        Tr("BusyDrop", "%1: a command is running; drop the file again when it has ended.")
            .arg(path));
    return;
  }
  if (!CardTypeKnown()) return;
  LoadImageFrom(id, path, app::EepromFileFormat::ByName);
}

void TForm1::AddRecentFile(app::ImageId id, const QString& path) {
  app::AddRecentFile(recentFiles_,
                     {app::ImageName(id), QFileInfo(path).absoluteFilePath().toStdString()});
  try {
    app::SaveRecentFiles(settingsPath_, recentFiles_);
  } catch (const std::exception& e) {
    dialogs_.showMessage(QString::fromStdString(e.what()));
  }
  ShowRecentFiles();
}

void TForm1::ShowRecentFiles() {
  QMenu* menu = menus_[0];
  for (const auto& [action, id] : recentItems_) {
    menu->removeAction(action);
    // It may be the item being triggered: gone from the menu now, deleted once that is over.
    action->setParent(nullptr);
    action->deleteLater();
  }
  recentItems_.clear();
  for (const app::RecentFile& file : recentFiles_) {
    const std::optional<app::ImageId> id = ImageIdByName(file.image);
    if (!id) continue;
    const QString path = Q(file.path);
    QAction* action = menu->addAction(QStringLiteral("&%1 %2: %3")
                                          .arg(recentItems_.size() + 1)
                                          .arg(ImageCaption(*id), QFileInfo(path).fileName()));
    action->setObjectName(QStringLiteral("RecentFile%1").arg(recentItems_.size() + 1));
    action->setToolTip(path);
    const app::ImageId image = *id;
    connect(action, &QAction::triggered, this, [this, image, path] {
      if (busy_ || !CardTypeKnown()) return;
      pages_->setCurrentIndex(image == app::ImageId::EepromExt ? kEepromExtPage : kFlashPage);
      LoadImageFrom(image, path, app::EepromFileFormat::ByName);
    });
    recentItems_.emplace_back(action, image);
  }
  recentSeparator_->setVisible(!recentItems_.empty());
  ApplyEnabled();
}

void TForm1::GoToAddress() {
  ImageGrid* grid = nullptr;
  for (ImageGrid* g : {flash_, eepromInt_, eepromExt_}) {
    if (g->hasFocus()) grid = g;
  }
  if (!grid) {
    if (pages_->currentIndex() != kEepromExtPage) pages_->setCurrentIndex(kFlashPage);
    grid = pages_->currentIndex() == kEepromExtPage ? eepromExt_ : flash_;
  }
  const bool words = grid == flash_;
  bool ok = false;
  QString text = QInputDialog::getText(
      this, Tr("GoToTitle", "Go to address"),
      words ? Tr("GoToWord", "FLASH word address (hex):") : Tr("GoToByte", "Byte address (hex):"),
      QLineEdit::Normal, {}, &ok);
  if (!ok) return;
  text = text.trimmed().remove(':').remove('$');
  if (text.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)) text = text.mid(2);
  bool valid = false;
  const uint address = text.toUInt(&valid, 16);
  if (!valid || !grid->GoToAddress(address)) {
    const uint32_t cells = grid == flash_       ? ws_.flash.Cells()
                           : grid == eepromInt_ ? ws_.eepromInt.Cells()
                                                : ws_.eepromExt.Cells();
    dialogs_.showMessage(Tr("NoAddress", "\"%1\" is no address of this image (0 to %2 hex).")
                             .arg(text)
                             .arg(QString::number(cells ? cells - 1 : 0, 16)
                                      .rightJustified(4, QChar('0'))
                                      .toUpper()));
  }
}

void TForm1::SaveImage(app::ImageId id) {
  if (!CardTypeKnown()) return;
  const QString here = QDir::currentPath();
  FileDialogRequest request;
  request.save = true;
  request.title = Text(103 + static_cast<int>(id));
  request.filters = QtFilters(kSaveFilter);
  request.startFolder = here;
  const QString path = fileDialog_(this, request).path;
  QDir::setCurrent(here);
  if (path.isEmpty()) return;
  if (id == app::ImageId::Flash) QApplication::setOverrideCursor(Qt::WaitCursor);
  try {
    SetGroupCaption(id, app::SaveImageFile(ws_, id, path.toStdString()));
  } catch (const std::exception& e) {
    if (id == app::ImageId::Flash) QApplication::restoreOverrideCursor();
    dialogs_.showMessage(QString::fromStdString(e.what()));
    return;
  }
  edits_.ClearMarks(id);
  // A PIC FLASH file carries the internal EEPROM image too.
  if (id == app::ImageId::Flash && ws_.Card() && ws_.Card()->family == app::Family::Pic) {
    edits_.ClearMarks(app::ImageId::EepromInt);
  }
  ImagesChanged();
  if (id == app::ImageId::Flash) QApplication::restoreOverrideCursor();
}

void TForm1::ScanLanguagePacks() {
  if (langDir_.isEmpty()) {
    for (const QString& dir : LanguageDirCandidates()) {
      if (QFileInfo(dir).isDir()) {
        langDir_ = QDir(dir).canonicalPath();
        break;
      }
    }
  }
  packs_ = langDir_.isEmpty() ? std::vector<app::LanguagePackEntry>{}
                              : app::ScanLanguagePacks(langDir_.toStdString());
  // No pack saved (a first start, or a name no pack has): the desktop's language.
  if (std::none_of(packs_.begin(), packs_.end(), [this](const app::LanguagePackEntry& pack) {
        return pack.displayName == ws_.settings.language;
      })) {
    const std::string pack = app::PackForLocale(packs_, locale_.toStdString());
    if (!pack.empty()) ws_.settings.language = pack;
  }
  QComboBox* lang = setup_->Lang();
  const QSignalBlocker quiet(lang);
  lang->clear();
  for (const app::LanguagePackEntry& pack : packs_) lang->addItem(Q(pack.displayName));
  const QString chosen = Q(ws_.settings.language);
  lang->setCurrentIndex(lang->findText(chosen));
  ApplyLanguage(chosen);
}

void TForm1::ApplyLanguage(const QString& displayName) {
  if (auto texts =
          app::LoadLanguagePack(langDir_.toStdString(), packs_, displayName.toStdString())) {
    ws_.texts = *texts;
  }
  ws_.windowTexts = app::LoadWindowTexts(langDir_.toStdString(), packs_, displayName.toStdString());
  // No pack of that name: the texts stay as they are (the window's own at start).
  ApplyTexts();
  InstallQtTranslation(displayName);
}

void TForm1::InstallQtTranslation(const QString& displayName) {
  QString language = locale_.section('_', 0, 0);
  for (const app::LanguagePackEntry& pack : packs_) {
    if (Q(pack.displayName) == displayName && !pack.locale.empty()) language = Q(pack.locale);
  }
  QCoreApplication::removeTranslator(&qtTranslator_);
  if (language.isEmpty() || language == QLatin1String("en") || language == QLatin1String("C")) {
    return;
  }
  if (qtTranslator_.load(QStringLiteral("qtbase_") + language,
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(&qtTranslator_);
  }
}

bool TForm1::ShowTab(const QString& caption) {
  for (int i = 0; i < pages_->count(); ++i) {
    if (QString(pages_->tabText(i)).remove('&').compare(caption, Qt::CaseInsensitive) == 0) {
      pages_->setTabVisible(i, true);
      pages_->setCurrentIndex(i);
      return true;
    }
  }
  return false;
}

void TForm1::ApplyTexts() {
  stop_->setText(Tr("Stop", "S&top"));
  stop_->setToolTip(Tr("StopTip", "Stop the running command (Esc)"));
  static constexpr std::array<std::pair<const char*, const char*>, 6> kTabs{{
      {"TabFlash", "FLASH"},
      {"TabEepromExt", "EEPROM ext"},
      {"TabSetup", "Setup"},
      {"TabInfo", "Info"},
      {"TabTestKoVad", "Test KO-VAD"},
      {"TabTestKoVad2", "Test KO-VAD2"},
  }};
  for (size_t i = 0; i < kTabs.size(); ++i) {
    pages_->setTabText(static_cast<int>(i), Tr(kTabs[i].first, kTabs[i].second));
  }
  setup_->Retranslate([this](const char* key, const char* english) { return Tr(key, english); });
  ShowSystemLine();
  for (size_t i = 0; i < toolButtons_.size(); ++i) {
    toolButtons_[i]->setText(Text(static_cast<int>(i) + 1));
    toolButtons_[i]->setToolTip(ToolTipOf(toolButtons_[i]->text()));
  }
  detect_->setText(Text(app::kDetectCardKey));
  detect_->setToolTip(ToolTipOf(detect_->text()));
  // The packs address the fixed items by position; the recent files after them keep theirs.
  int key = 8;
  for (size_t m = 0; m < menus_.size(); ++m) {
    const QList<QAction*> actions = menus_[m]->actions();
    for (size_t i = 0; i < MenuItems()[m].size(); ++i) {
      actions[static_cast<qsizetype>(i)]->setText(Text(key++));
    }
  }
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonDblClick &&
      (watched == pasek_ || watched->parent() == pasek_)) {
    pages_->setTabVisible(kTestKoVadPage, true);
    pages_->setTabVisible(kTestKoVad2Page, true);
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void TForm1::closeEvent(QCloseEvent* event) {
  // A write cut short leaves a half-written card: ask before stopping it.
  if (runner_->Busy() && !dialogs_.askYesNo(Tr("StopAndClose",
                                               "A command is running; stopping it may leave the "
                                               "card half written. Stop it and close?"))) {
    event->ignore();
    return;
  }
  if (!ConfirmDiscard({app::ImageId::Flash, app::ImageId::EepromInt, app::ImageId::EepromExt})) {
    event->ignore();
    return;
  }
  if (runner_->Busy()) {
    runner_->RequestStop();
    runner_->WaitForIdle();
  }
  runner_->Shutdown();
  try {
    app::SaveSettings(settingsPath_, ws_.settings);
  } catch (const std::exception& e) {
    dialogs_.showMessage(QString::fromStdString(e.what()));
  }
  event->accept();
}

}  // namespace vexilo::gui
