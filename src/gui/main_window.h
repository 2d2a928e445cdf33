#pragma once
#include <QString>
#include <QStringList>
#include <QTranslator>
#include <QWidget>
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/commands.h"
#include "app/image_edits.h"
#include "app/language_pack.h"
#include "app/workspace.h"
#include "gui/gui_operator.h"

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QProgressBar;
class QStatusBar;
class QTabWidget;
class QTextEdit;
class QToolBar;
class QToolButton;

namespace vexilo::gui {

class CommandRunner;
class FunPanelWidget;
class FuseForm;
class ImageGrid;
class OptionPanelWidget;
class SetupTab;

// What the window asks a file dialog: open or save, its title, its filters (Qt form, first is
// selected) and its start folder.
struct FileDialogRequest {
  bool save = false;
  QString title;
  QStringList filters;
  QString startFolder;
};
// The answer: the chosen path (empty when cancelled) and the index of the filter selected.
struct FileDialogAnswer {
  FileDialogAnswer(QString chosen = {}, int filterIndex = 0)  // NOLINT: a path alone answers
      : path(std::move(chosen)), filter(filterIndex) {}
  QString path;
  int filter;
};
using FileDialogFunction =
    std::function<FileDialogAnswer(QWidget* parent, const FileDialogRequest&)>;

struct WindowOptions {
  // Where the simulated cards keep their memories between runs; empty: they forget them.
  std::string simStateDir;
  // The language pack folder; empty: ./lang, then ../share/vexilo/lang beside the program,
  // then the source tree's lang/.
  QString langDir;
  // The desktop's locale name ("pl_PL"), which chooses the pack when none is saved; empty: the
  // system's.
  QString locale;
  // The settings file; empty: ./config.cfg when there is one, else the desktop's settings
  // folder ($XDG_CONFIG_HOME/vexilo, ~/.config/vexilo).
  std::string settingsPath;
};

// The main window: tool bar with the load, save, read, program and verify menus and the Stop
// button, the card type box with progress bar and address label, the pages FLASH, EEPROM ext,
// Setup, Info and the two adapter test pages, the log, the option panel of the card type and
// the status bar. It opens at 578 x 519 (smaller when the screen is) and may be resized: the
// grids and the log take the room. It owns the workspace; hardware commands run on the command
// runner's worker thread.
class TForm1 final : public QWidget {
  Q_OBJECT
 public:
  explicit TForm1(WindowOptions options = {}, QWidget* parent = nullptr);
  ~TForm1() override;

  app::Workspace& Workspace() { return ws_; }
  CommandRunner& Runner() { return *runner_; }
  // The message boxes of the window and of the operations; tests put their own answers in.
  Dialogs& MessageDialogs() { return dialogs_; }
  void SetFileDialog(FileDialogFunction dialog) { fileDialog_ = std::move(dialog); }
  // The language pack folder in use (empty: none found).
  const QString& LanguageDir() const { return langDir_; }
  // Loads a file dropped on the grid of image `id`, by the rules of the load items.
  void LoadDroppedFile(app::ImageId id, const QString& path);
  // A file named on the command line or opened from the file manager: a .bin is an EEPROM
  // image (the external one where the card has it), anything else a FLASH HEX file.
  void OpenFile(const QString& path);
  // Shows the tab of that caption (any case); false when there is none.
  bool ShowTab(const QString& caption);
  // The Stop button, Esc and the double-click on an option panel: the running command stops.
  void RequestStop();

  // Editing the images by hand (typing, fill, paste, undo): the grids and these do the same.
  app::ImageEdits& Edits() { return edits_; }
  ImageGrid& Grid(app::ImageId id);
  // Fills cells `from` .. `to` of image `id`; false (with a message) when it cannot.
  bool FillImage(app::ImageId id, uint32_t from, uint32_t to, uint8_t value);
  bool PasteInto(app::ImageId id, uint32_t cell, const QString& text);
  void UndoEdit();
  void RedoEdit();
  // The checksum line under the grid of image `id`.
  QString ChecksumText(app::ImageId id) const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildToolBar();
  void BuildPanel1();
  void BuildPages();
  void BuildLogAndPanels();
  void BuildStatusBar();
  void BuildShortcuts();
  // Places the controls for the window's size: at 578 x 519 every control where the original
  // layout has it; extra height goes to the grids (three quarters) and the log.
  void LayOut();
  QAction* AddItem(QMenu* menu, const char* name, const char* caption);
  void ConnectRunner();
  void FillDefaultDialogs();

  // FormCreate: settings, card type, language packs.
  void FormCreate();
  void typChange(const QString& text);
  // The card type switch with the set-up of the three grids.
  void CardTypeSwitch();
  void ApplyEnabled();
  void SetBusy(bool busy);
  void RefreshGrids();
  void SyncOptionPanels();
  // The status bar's system line, or that the card type text names no card type.
  void ShowSystemLine();
  void AppendLog(const QString& text, bool error);
  // True for a card type; otherwise says so in the log (one red line).
  bool CardTypeKnown();

  void LoadImage(app::ImageId id);
  bool LoadImageFrom(app::ImageId id, const QString& path, app::EepromFileFormat format);
  void AddRecentFile(app::ImageId id, const QString& path);
  void ShowRecentFiles();
  void GoToAddress();
  void SaveImage(app::ImageId id);
  void SetGroupCaption(app::ImageId id, const std::string& file);
  void RunCommandItem(app::Command command);
  void OpenFuseForm(int which);

  void ScanLanguagePacks();
  void ApplyLanguage(const QString& displayName);
  void ApplyTexts();
  // Qt's own texts (message box buttons, file dialogs) in the pack's language.
  void InstallQtTranslation(const QString& displayName);
  QString Text(int key) const;
  // The pack's [WINDOW] text `name`, else the window's own English text.
  QString Tr(const char* name, const char* english) const;

  // Image editing: the grids' editors, context menus and keys; the checksum lines and title.
  void SetUpEditing();
  bool EditCell(app::ImageId id, uint32_t row, uint32_t column, const QString& text);
  void FillAsked(bool wholeImage);
  void FindAsked();
  void FindNext();
  // The grid with the keyboard focus, else the one of the page shown.
  app::ImageId FocusedImage() const;
  // After the images changed: grids, checksum lines and the title.
  void ImagesChanged();
  void UpdateTitle();
  // True when there are no unsaved edits in `ids`, or the person lets them go.
  bool ConfirmDiscard(std::initializer_list<app::ImageId> ids);
  // Help menu: the keyboard keys, the README, the About box.
  void BuildHelpMenu();
  void ShowKeys();
  void ShowReadme();
  void ShowAbout();

  app::Workspace ws_;
  Dialogs dialogs_;
  std::unique_ptr<CommandRunner> runner_;
  FileDialogFunction fileDialog_;
  QString loadFolder_;  // the folder of the last load, empty before the first
  QString langDir_;
  std::string settingsPath_;
  QString locale_;
  std::vector<app::LanguagePackEntry> packs_;
  QTranslator qtTranslator_;
  bool busy_ = false;
  std::vector<app::RecentFile> recentFiles_;
  std::vector<std::pair<QAction*, app::ImageId>> recentItems_;
  QAction* recentSeparator_ = nullptr;

  QToolBar* toolBar_ = nullptr;
  QWidget* panel1_ = nullptr;
  QToolButton* stop_ = nullptr;
  QToolButton* detect_ = nullptr;              // "Detect card"
  std::array<QToolButton*, 7> toolButtons_{};  // ToolButton1, 2, 4, 5, 6, 7, 10
  std::array<QMenu*, 5> menus_{};              // PopupMenu1 .. PopupMenu5
  std::map<QAction*, bool> allowed_;           // what the card type allows
  std::map<QAction*, app::Command> commands_;
  std::vector<QAction*> loadItems_;

  QComboBox* typ_ = nullptr;
  QProgressBar* procent_ = nullptr;
  QLabel* adr_ = nullptr;
  QTabWidget* pages_ = nullptr;
  std::array<QGroupBox*, 3> groups_{};
  ImageGrid* flash_ = nullptr;
  ImageGrid* eepromInt_ = nullptr;
  ImageGrid* eepromExt_ = nullptr;
  SetupTab* setup_ = nullptr;
  QTextEdit* log_ = nullptr;
  FunPanelWidget* gfun_ = nullptr;
  OptionPanelWidget* gpic_ = nullptr;
  OptionPanelWidget* gpic2_ = nullptr;
  std::array<FuseForm*, 3> fuseForms_{};
  QStatusBar* pasek_ = nullptr;
  std::array<QLabel*, 3> statusPanels_{};
  QLabel* timePanel_ = nullptr;  // elapsed and remaining time of a long transfer
  app::ImageEdits edits_;
  std::array<QLabel*, 3> checksums_{};
  std::vector<uint8_t> findNeedle_;
  app::ImageId findImage_ = app::ImageId::Flash;
  uint32_t findNext_ = 0;  // the byte address F3 searches from
  QToolButton* help_ = nullptr;
};

// The tab indices of PageControl1.
inline constexpr int kFlashPage = 0, kEepromExtPage = 1, kSetupPage = 2, kInfoPage = 3,
                     kTestKoVadPage = 4, kTestKoVad2Page = 5;

// The window caption.
inline constexpr char kWindowCaption[] = "VEXILO2001 by ZELTIX 18.04.2003 - VIP";

// The Qt form of a dialog filter "HEX files (*.hex)|*.hex|All files (*.*)|*.*".
QStringList QtFilters(const char* filter);

}  // namespace vexilo::gui
