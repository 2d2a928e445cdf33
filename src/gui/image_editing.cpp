// The main window's image editing: typing into the grids, fill, paste, undo and redo, find,
// the checksum lines and the title's file names and unsaved mark.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileInfo>
#include <QGroupBox>
#include <QInputDialog>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QShortcut>
#include <QTabWidget>

#include "gui/grid_model.h"
#include "gui/main_window.h"
#include "image/hex_to_int.h"
#include "image/image_edit.h"

namespace vexilo::gui {
namespace {

constexpr app::ImageId kIds[] = {app::ImageId::Flash, app::ImageId::EepromInt,
                                 app::ImageId::EepromExt};

QString Q(const std::string& text) { return QString::fromStdString(text); }

// A search text: hex bytes ("DE AD BE EF"), or text in quotes ("\"HELLO\""); anything that is
// not hex bytes is taken as text too.
std::vector<uint8_t> NeedleOf(const QString& input) {
  QString text = input.trimmed();
  if (text.size() >= 2 && text.startsWith('"') && text.endsWith('"')) {
    const QByteArray bytes = text.mid(1, text.size() - 2).toLatin1();
    return {bytes.begin(), bytes.end()};
  }
  try {
    return image::ParseHexBytes(text.toStdString());
  } catch (const image::EditError&) {
    const QByteArray bytes = input.toLatin1();
    return {bytes.begin(), bytes.end()};
  }
}

}  // namespace

void TForm1::OpenFile(const QString& path) {
  app::ImageId id = app::ImageId::Flash;
  if (path.endsWith(QStringLiteral(".bin"), Qt::CaseInsensitive)) {
    id = ws_.Card() && ws_.Card()->HasExternalEeprom() ? app::ImageId::EepromExt
                                                       : app::ImageId::EepromInt;
  }
  pages_->setCurrentIndex(id == app::ImageId::EepromExt ? kEepromExtPage : kFlashPage);
  LoadDroppedFile(id, path);
}

ImageGrid& TForm1::Grid(app::ImageId id) {
  return id == app::ImageId::Flash       ? *flash_
         : id == app::ImageId::EepromInt ? *eepromInt_
                                         : *eepromExt_;
}

QString TForm1::Tr(const char* name, const char* english) const {
  auto it = ws_.windowTexts.find(name);
  return it == ws_.windowTexts.end() || it->second.empty() ? QString::fromUtf8(english)
                                                           : Q(it->second);
}

void TForm1::SetUpEditing() {
  for (app::ImageId id : kIds) {
    ImageGrid& grid = Grid(id);
    grid.Model().SetEditor([this, id](uint32_t row, uint32_t column, const QString& text) {
      return EditCell(id, row, column, text);
    });
    grid.Model().SetMarks([this, id](uint32_t cell) { return edits_.Marked(id, cell); });
    connect(&grid, &ImageGrid::PasteRequested, this,
            [this, id](uint32_t cell, const QString& text) { PasteInto(id, cell, text); });
    grid.setContextMenuPolicy(Qt::CustomContextMenu);
    connect(&grid, &QWidget::customContextMenuRequested, this, [this, &grid](const QPoint& at) {
      QMenu menu(this);
      menu.addAction(Tr("Undo", "Undo"), QKeySequence::Undo, this, &TForm1::UndoEdit)
          ->setEnabled(!busy_ && edits_.CanUndo());
      menu.addAction(Tr("Redo", "Redo"), QKeySequence(Qt::CTRL | Qt::Key_Y), this,
                     &TForm1::RedoEdit)
          ->setEnabled(!busy_ && edits_.CanRedo());
      menu.addSeparator();
      menu.addAction(Tr("Copy", "Copy"), QKeySequence::Copy, &grid,
                     [&grid] { QApplication::clipboard()->setText(grid.SelectionAsHex()); });
      menu.addAction(Tr("Paste", "Paste hex text"), QKeySequence::Paste, this,
                     [this, &grid] {
                       uint32_t first = grid.CurrentCell(), last = first;
                       grid.SelectedCells(first, last);
                       for (app::ImageId id : kIds) {
                         if (&Grid(id) == &grid)
                           PasteInto(id, first, QApplication::clipboard()->text());
                       }
                     })
          ->setEnabled(!busy_);
      menu.addAction(Tr("FillSelection", "Fill selection..."), this, [this] { FillAsked(false); })
          ->setEnabled(!busy_);
      menu.addAction(Tr("FillImage", "Fill whole image..."), this, [this] { FillAsked(true); })
          ->setEnabled(!busy_);
      menu.addSeparator();
      menu.addAction(Tr("Find", "Find..."), QKeySequence::Find, this, &TForm1::FindAsked);
      menu.addAction(Tr("FindNext", "Find next"), QKeySequence(Qt::Key_F3), this,
                     &TForm1::FindNext);
      menu.exec(grid.viewport()->mapToGlobal(at));
    });
  }
  struct Key {
    QKeySequence keys;
    void (TForm1::*slot)();
  };
  const Key kKeys[] = {{QKeySequence(Qt::CTRL | Qt::Key_Z), &TForm1::UndoEdit},
                       {QKeySequence(Qt::CTRL | Qt::Key_Y), &TForm1::RedoEdit},
                       {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), &TForm1::RedoEdit},
                       {QKeySequence(Qt::CTRL | Qt::Key_F), &TForm1::FindAsked},
                       {QKeySequence(Qt::Key_F3), &TForm1::FindNext}};
  for (const Key& key : kKeys) {
    auto* shortcut = new QShortcut(key.keys, this);
    connect(shortcut, &QShortcut::activated, this, key.slot);
  }
  ImagesChanged();
}

bool TForm1::EditCell(app::ImageId id, uint32_t row, uint32_t column, const QString& text) {
  if (busy_) {
    dialogs_.showMessage(Tr("BusyEdit", "A command is running: edit the image when it has ended."));
    return false;
  }
  const image::MemoryImage& image = ws_.Image(id);
  try {
    if (column == image.Columns() - 1) {
      const QByteArray latin = text.toLatin1();
      edits_.TypeAscii(ws_, id, row, latin.toStdString());
    } else {
      edits_.TypeCell(ws_, id, (row - 1) * image.CellsPerRow() + column - 1,
                      text.trimmed().toStdString());
    }
  } catch (const std::exception& e) {
    dialogs_.showMessage(Q(e.what()));
    return false;
  }
  ImagesChanged();
  return true;
}

bool TForm1::FillImage(app::ImageId id, uint32_t from, uint32_t to, uint8_t value) {
  if (busy_) return false;
  try {
    edits_.FillCells(ws_, id, from, to, value);
  } catch (const std::exception& e) {
    dialogs_.showMessage(Q(e.what()));
    return false;
  }
  ImagesChanged();
  return true;
}

bool TForm1::PasteInto(app::ImageId id, uint32_t cell, const QString& text) {
  if (busy_) return false;
  try {
    edits_.Paste(ws_, id, cell, text.toStdString());
  } catch (const std::exception& e) {
    dialogs_.showMessage(Tr("PasteFailed", "Nothing pasted: %1").arg(Q(e.what())));
    return false;
  }
  ImagesChanged();
  return true;
}

void TForm1::FillAsked(bool wholeImage) {
  const app::ImageId id = FocusedImage();
  ImageGrid& grid = Grid(id);
  uint32_t first = 0, last = ws_.Image(id).Cells() - 1;
  if (!wholeImage && !grid.SelectedCells(first, last)) return;
  bool ok = false;
  const QString range =
      QStringLiteral("%1-%2").arg(first, 4, 16, QChar('0')).arg(last, 4, 16, QChar('0')).toUpper();
  const QString text = QInputDialog::getText(
      this, Tr("FillTitle", "Fill"), Tr("FillPrompt", "Fill %1 with the byte (hex):").arg(range),
      QLineEdit::Normal, QStringLiteral("FF"), &ok);
  if (!ok) return;
  try {
    const std::vector<uint8_t> bytes = image::ParseHexBytes(text.toStdString());
    if (bytes.size() != 1) throw image::EditError("give one byte, two hex digits");
    FillImage(id, first, last, bytes[0]);
  } catch (const std::exception& e) {
    dialogs_.showMessage(Q(e.what()));
  }
}

void TForm1::UndoEdit() {
  if (busy_ || !edits_.Undo(ws_)) return;
  ImagesChanged();
}

void TForm1::RedoEdit() {
  if (busy_ || !edits_.Redo(ws_)) return;
  ImagesChanged();
}

app::ImageId TForm1::FocusedImage() const {
  for (app::ImageId id : kIds) {
    if (const_cast<TForm1*>(this)->Grid(id).hasFocus()) return id;
  }
  return pages_->currentIndex() == kEepromExtPage ? app::ImageId::EepromExt : app::ImageId::Flash;
}

void TForm1::FindAsked() {
  bool ok = false;
  const QString text = QInputDialog::getText(
      this, Tr("FindTitle", "Find"),
      Tr("FindPrompt", "Hex bytes (DE AD BE EF) or \"text\" to find:"), QLineEdit::Normal, {}, &ok);
  if (!ok || text.isEmpty()) return;
  findNeedle_ = NeedleOf(text);
  findImage_ = FocusedImage();
  const image::MemoryImage& image = ws_.Image(findImage_);
  findNext_ = image::FirstByteOfCell(image, Grid(findImage_).CurrentCell());
  FindNext();
}

void TForm1::FindNext() {
  if (findNeedle_.empty()) return FindAsked();
  const image::MemoryImage& image = ws_.Image(findImage_);
  const std::optional<uint32_t> at = image::FindBytes(image, findNeedle_, findNext_);
  if (!at) {
    dialogs_.showMessage(Tr("NotFound", "Not found in this image."));
    return;
  }
  findNext_ = *at + 1;
  if (findImage_ == app::ImageId::EepromExt) {
    pages_->setCurrentIndex(kEepromExtPage);
  } else {
    pages_->setCurrentIndex(kFlashPage);
  }
  ImageGrid& grid = Grid(findImage_);
  const uint32_t first = image::CellOfByte(image, *at);
  const uint32_t last =
      image::CellOfByte(image, *at + static_cast<uint32_t>(findNeedle_.size()) - 1);
  grid.GoToAddress(first);
  const uint32_t perRow = image.CellsPerRow();
  grid.selectionModel()->select(
      QItemSelection(grid.Model().index(int(first / perRow), int(first % perRow) + 1),
                     grid.Model().index(int(last / perRow), int(last % perRow) + 1)),
      QItemSelectionModel::ClearAndSelect);
}

QString TForm1::ChecksumText(app::ImageId id) const {
  return Q(image::ChecksumLine(ws_.Image(id)));
}

void TForm1::ImagesChanged() {
  RefreshGrids();
  for (app::ImageId id : kIds) {
    if (QLabel* line = checksums_[static_cast<size_t>(id)]) line->setText(ChecksumText(id));
  }
  UpdateTitle();
}

void TForm1::UpdateTitle() {
  QStringList files;
  for (const std::string* file : {&ws_.flashFile, &ws_.eepromIntFile, &ws_.eepromExtFile}) {
    const QString name = QFileInfo(Q(*file)).fileName();
    if (!name.isEmpty() && !files.contains(name)) files << name;
  }
  QString title = QString::fromUtf8(kWindowCaption);
  if (!files.isEmpty()) title += QStringLiteral(" - ") + files.join(QStringLiteral(", "));
  if (edits_.AnyUnsaved()) title += QStringLiteral(" *");
  setWindowTitle(title);
}

bool TForm1::ConfirmDiscard(std::initializer_list<app::ImageId> ids) {
  QStringList unsaved;
  static constexpr const char* kNames[] = {"FLASH", "EEPROM int", "EEPROM ext"};
  for (app::ImageId id : ids) {
    if (edits_.Unsaved(id)) unsaved << QString::fromLatin1(kNames[static_cast<int>(id)]);
  }
  if (unsaved.isEmpty()) return true;
  return dialogs_.askYesNo(Tr("DiscardEdits", "%1 has edits that are not saved. Let them go?")
                               .arg(unsaved.join(QStringLiteral(", "))));
}

}  // namespace vexilo::gui
