#pragma once
#include <QAbstractTableModel>
#include <QTableView>
#include <functional>

#include "image/memory_image.h"

namespace vexilo::gui {

// A memory image as a grid: the header row ("Adres", "+0" .., "ASCII") is the view's header,
// the address column is column 0, then the cells, then the ASCII text. The texts are made from
// the image when the view asks for them, so even the 65536 words of an ATmega128 FLASH switch
// at once. The cells and the ASCII column are editable once an editor is set: typed text goes
// to it (data row from 1, column as the grid counts them), and it answers whether it took it.
class ImageGridModel final : public QAbstractTableModel {
  Q_OBJECT
 public:
  using Editor = std::function<bool(uint32_t row, uint32_t column, const QString& text)>;
  // Whether a cell was edited since the image was saved or replaced.
  using MarkFunction = std::function<bool(uint32_t cell)>;

  explicit ImageGridModel(const image::MemoryImage& image, QObject* parent = nullptr);
  void SetEditor(Editor editor) { editor_ = std::move(editor); }
  void SetMarks(MarkFunction marks) { marks_ = std::move(marks); }
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // The image was replaced, resized or filled: every row is shown again.
  void Refresh();

 private:
  const image::MemoryImage& image_;
  Editor editor_;
  MarkFunction marks_;
};

// The colour of edited cells not yet saved (light yellow).
inline constexpr QRgb kEditedColour = qRgb(0xFF, 0xF0, 0x90);

// The fixed colour of the header row and the address column (sky blue).
inline constexpr QRgb kFixedColour = qRgb(0xA6, 0xCA, 0xF0);

// A grid view over one image: monospaced cells, rows 15 pixels high, fixed column widths
// (address 50, ASCII 131, a cell 43 in FLASH and 21 in the EEPROM grids), vertical scroll bar
// only. The keyboard moves in it (arrows, Page Up/Down, Ctrl+Home/End), a hex digit starts
// editing the cell, a range of cells can be selected and copied as hex text (Ctrl+C) or hex text
// pasted (Ctrl+V), and a file dropped on it asks to be loaded.
class ImageGrid final : public QTableView {
  Q_OBJECT
 public:
  ImageGrid(const image::MemoryImage& image, QWidget* parent = nullptr);

  ImageGridModel& Model() { return *model_; }
  void Refresh();

  // Moves to and selects the cell of `address` (a word address in FLASH, a byte address in
  // the EEPROM images); false when the image has no such cell.
  bool GoToAddress(uint32_t address);
  // The selected data cells as hex text: a line per row, the cells parted by spaces (the
  // address and ASCII columns are left out). The current cell when nothing is selected.
  QString SelectionAsHex() const;
  // The selected data cells as the first and last cell index (the current cell when nothing
  // is selected); false when no data cell is.
  bool SelectedCells(uint32_t& first, uint32_t& last) const;
  // The cell of the current index (the first cell of its row in the address or ASCII column).
  uint32_t CurrentCell() const;

 signals:
  // Ctrl+V with this text on the clipboard, to go in from `cell` on.
  void PasteRequested(uint32_t cell, const QString& text);

  // A file was dropped on the grid.
  void FileDropped(const QString& path);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void ApplyColumnWidths();

  const image::MemoryImage& image_;
  ImageGridModel* model_;
};

}  // namespace vexilo::gui
