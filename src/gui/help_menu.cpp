// The main window's Help button: the keyboard keys, the README of this version, About.
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include "gui/main_window.h"

namespace vexilo::gui {
namespace {

constexpr char kProjectAddress[] = "https://github.com/vexilo/vexilo";

// A text in a dialog that can be resized and scrolled.
void ShowDocument(QWidget* parent, const QString& title, const QString& markdown) {
  QDialog dialog(parent);
  dialog.setWindowTitle(title);
  auto* layout = new QVBoxLayout(&dialog);
  auto* text = new QTextBrowser(&dialog);
  text->setOpenExternalLinks(true);
  text->setMarkdown(markdown);
  layout->addWidget(text);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);
  dialog.resize(620, 480);
  dialog.exec();
}

}  // namespace

void TForm1::BuildHelpMenu() {
  help_ = new QToolButton(toolBar_);
  help_->setObjectName("ToolButtonHelp");
  help_->setText(QStringLiteral("?"));
  help_->setToolButtonStyle(Qt::ToolButtonTextOnly);
  help_->setAutoRaise(true);
  help_->setFocusPolicy(Qt::NoFocus);
  help_->setPopupMode(QToolButton::InstantPopup);
  auto* menu = new QMenu(help_);
  menu->setObjectName("HelpMenu");
  // Filled as it opens, in the language chosen then.
  connect(menu, &QMenu::aboutToShow, this, [this, menu] {
    menu->clear();
    menu->addAction(Tr("HelpKeys", "Keyboard keys"), this, &TForm1::ShowKeys);
    menu->addAction(Tr("HelpReadme", "Read me (this version)"), this, &TForm1::ShowReadme);
    menu->addSeparator();
    menu->addAction(Tr("HelpAbout", "About VEXILO"), this, &TForm1::ShowAbout);
  });
  help_->setMenu(menu);
  help_->setToolTip(Tr("Help", "Help"));
  toolBar_->addWidget(help_);
}

void TForm1::ShowKeys() {
  struct Key {
    const char* keys;
    const char* name;
    const char* english;
  };
  static constexpr Key kKeys[] = {
      {"0-9, A-F", "KeyType", "type into the cell (ASCII column: any character)"},
      {"Enter", "KeyEnter", "take the typed value"},
      {"Ctrl+C / Ctrl+V", "KeyCopy", "copy the selected cells / paste hex text"},
      {"Ctrl+Z / Ctrl+Y", "KeyUndo", "undo / redo edits, fills, loads and reads"},
      {"Ctrl+F / F3", "KeyFind", "find hex bytes or \"text\" / find the next"},
      {"Ctrl+G", "KeyGoTo", "go to an address"},
      {"Esc", "KeyStop", "stop the running command"},
      {"Alt+letter", "KeyAlt", "open a tool button's menu"},
      {"right click", "KeyMenu", "fill the selection or the whole image"},
  };
  QString text = QStringLiteral("| | |\n|---|---|\n");
  for (const Key& key : kKeys) {
    text +=
        QStringLiteral("| %1 | %2 |\n").arg(QString::fromUtf8(key.keys), Tr(key.name, key.english));
  }
  ShowDocument(this, Tr("HelpKeys", "Keyboard keys"), text);
}

void TForm1::ShowReadme() {
  QFile file(QStringLiteral(":/help/README.md"));
  QString text;
  if (file.open(QIODevice::ReadOnly)) text = QString::fromUtf8(file.readAll());
  ShowDocument(this, Tr("HelpReadme", "Read me (this version)"), text);
}

void TForm1::ShowAbout() {
  QMessageBox::about(
      this, Tr("HelpAbout", "About VEXILO"),
      QStringLiteral("<b>VEXILO %1</b><br>%2<br><br>%3<br><a href=\"%4\">%4</a>")
          .arg(QStringLiteral(VEXILO_VERSION),
               Tr("AboutText", "Programmer for AVR and PIC smart cards and their 24Cxx EEPROM."),
               Tr("AboutLicence", "Licence: GNU General Public License, version 2 or later."),
               QString::fromLatin1(kProjectAddress)));
}

}  // namespace vexilo::gui
