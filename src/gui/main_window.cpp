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
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
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

#include "app/settings.h"
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
  QFileDialog dialog(parent, request.title, request.startFolder);
  dialog.setOption(QFileDialog::DontUseNativeDialog);
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
  return line + QStringLiteral(" (unknown port access \"%1\")").arg(Q(settings.portBackend));
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
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      runner_(std::make_unique<CommandRunner>(ws_, dialogs_, std::move(options.simStateDir))),
      fileDialog_(DefaultFileDialog),
      langDir_(options.langDir) {
  setObjectName("Form1");
  setWindowTitle(kWindowCaption);
  setFont(UiFont());
  setFixedSize(kClientWidth, kClientHeight);
  FillDefaultDialogs();

  BuildToolBar();
  BuildPanel1();
  BuildPages();
  BuildLogAndPanels();
  BuildStatusBar();
  fuseForms_ = {new FuseForm(ws_.fuse128, this), new FuseForm(ws_.fuse163, this),
                new FuseForm(ws_.fuse8515, this)};
  ConnectRunner();
  FormCreate();
}

TForm1::~TForm1() {
  runner_->WaitForIdle();
  runner_->Shutdown();
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
  bar->setObjectName("ToolBar1");
  bar->setGeometry(0, 0, kClientWidth, 50);
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
}

void TForm1::BuildPanel1() {
  auto* panel = new QFrame(this);
  panel->setObjectName("Panel1");
  panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  panel->setGeometry(0, 50, kClientWidth, 30);

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
  procent_->setGeometry(264, 6, 257, 18);
  procent_->setTextVisible(false);
  procent_->setRange(0, 100);
  procent_->setValue(0);

  adr_ = new QLabel(QStringLiteral(":0000"), panel);
  adr_->setObjectName("adr_");
  adr_->setFont(MonoFont());
  adr_->setGeometry(528, 6, 48, 18);
}

void TForm1::BuildPages() {
  pages_ = new QTabWidget(this);
  pages_->setObjectName("PageControl1");
  pages_->setGeometry(0, 80, kClientWidth, 290);

  auto groupWithGrid = [this](QWidget* page, int index, const char* name, const char* caption,
                              const image::MemoryImage& image, const char* gridName) {
    auto* box = new QGroupBox(QString::fromUtf8(caption), page);
    box->setObjectName(name);
    auto* layout = new QVBoxLayout(box);
    layout->setContentsMargins(2, 2, 2, 2);
    auto* grid = new ImageGrid(image, box);
    grid->setObjectName(gridName);
    layout->addWidget(grid);
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
  pages_->addTab(setup_, QStringLiteral("Setup"));
  pages_->addTab(new InfoTab(pages_), QStringLiteral("Info"));
  pages_->addTab(new TestKoVadPage(*runner_, pages_), QStringLiteral("Test KO-VAD"));
  pages_->addTab(new TestKoVad2Page(*runner_, pages_), QStringLiteral("Test KO-VAD2"));
  pages_->setCurrentIndex(kInfoPage);
}

void TForm1::BuildLogAndPanels() {
  log_ = new QTextEdit(this);
  log_->setObjectName("log");
  log_->setReadOnly(true);
  log_->setGeometry(0, 370, 577, 92);
  log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log_->setLineWrapMode(QTextEdit::NoWrap);
  QFont font = MonoFont();
  log_->setFont(font);
  log_->document()->setDefaultFont(font);

  gfun_ = new FunPanelWidget(ws_.options, this);
  gpic_ = new PicPanelWidget(ws_.options, this);
  gpic2_ = new Pic2PanelWidget(ws_.options, this);
  for (OptionPanelWidget* panel : {static_cast<OptionPanelWidget*>(gfun_), gpic_, gpic2_}) {
    panel->move(0, kOptionPanelTop);
    connect(panel, &OptionPanelWidget::ExtSizeChosen, this, [this](int index) {
      try {
        ws_.SelectExtSize(index);
      } catch (const std::exception& e) {
        dialogs_.showMessage(QString::fromStdString(e.what()));
      }
      eepromExt_->Refresh();
    });
  }
  connect(gfun_, &OptionPanelWidget::DoubleClicked, this, [this] { runner_->RequestStop(); });
  connect(gfun_->fuse, &QPushButton::clicked, this, [this] { OpenFuseForm(0); });
  connect(gfun_->button39, &QPushButton::clicked, this, [this] { OpenFuseForm(1); });
  connect(gfun_->button40, &QPushButton::clicked, this, [this] { OpenFuseForm(2); });
}

void TForm1::BuildStatusBar() {
  pasek_ = new QStatusBar(this);
  pasek_->setObjectName("pasek");
  pasek_->setSizeGripEnabled(false);
  pasek_->setGeometry(0, kClientHeight - 17, kClientWidth, 17);
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
  pasek_->installEventFilter(this);
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
  connect(&op, &GuiOperator::StatusPanelChanged, this, [this](int index, const QString& text) {
    if (index >= 0 && index < 3) statusPanels_[static_cast<size_t>(index)]->setText(text);
  });
  connect(&op, &GuiOperator::SessionBusyChanged, this, [this](bool busy) {
    if (busy) {
      setCursor(Qt::BusyCursor);
    } else {
      unsetCursor();
    }
  });
  connect(runner_.get(), &CommandRunner::BusyChanged, this, &TForm1::SetBusy);
  connect(runner_.get(), &CommandRunner::Finished, this,
          [this](app::Command command, bool /*failed*/, bool ran) {
            RefreshGrids();
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
                  QStringLiteral("%1: not available for the %2").arg(item, Q(ws_.CardTypeText())));
            }
          });
}

void TForm1::FormCreate() {
  pages_->setTabVisible(kTestKoVadPage, false);
  pages_->setTabVisible(kTestKoVad2Page, false);
  ws_.settings = app::LoadSettings(app::DefaultSettingsPath());
  setup_->Sync();
  ShowSystemLine();
  {
    const QSignalBlocker quiet(typ_);
    typ_->setEditText(Q(ws_.settings.cardType));
  }
  CardTypeSwitch();
  ScanLanguagePacks();
}

void TForm1::typChange(const QString& text) {
  log_->clear();
  ws_.settings.cardType = text.toStdString();
  CardTypeSwitch();
  try {
    app::SaveCardType(app::DefaultSettingsPath(), ws_.settings.cardType);
  } catch (const std::exception& e) {
    dialogs_.showMessage(QString::fromStdString(e.what()));
  }
}

void TForm1::CardTypeSwitch() {
  const std::string text = typ_->currentText().toStdString();
  const app::CardType* card = app::FindCardType(text);
  ws_.SetCardTypeText(text);
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
  shown->move(0, kOptionPanelTop);
  shown->raise();

  RefreshGrids();
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
}

void TForm1::SetBusy(bool busy) {
  busy_ = busy;
  ApplyEnabled();
  typ_->setEnabled(!busy);
  // Everything but saving waits for the running command: ToolButton1, 4, 5, 6, 7, 10.
  for (size_t i : {0u, 2u, 3u, 4u, 5u, 6u}) toolButtons_[i]->setEnabled(!busy);
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

void TForm1::ShowSystemLine() { statusPanels_[1]->setText(SystemLineOf(ws_.settings)); }

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
  if (busy_) return;
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
  if (busy_) return;
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
  const app::EepromFileFormat format =
      id == app::ImageId::Flash || answer.filter < 0 || answer.filter > 2
          ? app::EepromFileFormat::ByName
          : kFormats[answer.filter];
  if (id == app::ImageId::Flash) QApplication::setOverrideCursor(Qt::WaitCursor);
  try {
    SetGroupCaption(id, app::LoadImageFile(ws_, id, path.toStdString(), format));
  } catch (const std::exception& e) {
    if (id == app::ImageId::Flash) QApplication::restoreOverrideCursor();
    dialogs_.showMessage(QString::fromStdString(e.what()));
    return;
  }
  RefreshGrids();
  SyncOptionPanels();
  if (id == app::ImageId::Flash) QApplication::restoreOverrideCursor();
}

void TForm1::SaveImage(app::ImageId id) {
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
  // No pack of that name: the texts stay as they are (the window's own at start).
  ApplyTexts();
}

void TForm1::ApplyTexts() {
  for (size_t i = 0; i < toolButtons_.size(); ++i) {
    toolButtons_[i]->setText(Text(static_cast<int>(i) + 1));
  }
  int key = 8;
  for (QMenu* menu : menus_) {
    for (QAction* action : menu->actions()) action->setText(Text(key++));
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
  if (runner_->Busy()) {
    runner_->RequestStop();
    runner_->WaitForIdle();
  }
  runner_->Shutdown();
  try {
    app::SaveSettings(app::DefaultSettingsPath(), ws_.settings);
  } catch (const std::exception& e) {
    dialogs_.showMessage(QString::fromStdString(e.what()));
  }
  event->accept();
}

}  // namespace vexilo::gui
