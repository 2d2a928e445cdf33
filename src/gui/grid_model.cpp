#include "gui/grid_model.h"

#include <QApplication>
#include <QBrush>
#include <QClipboard>
#include <QColor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFont>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <map>

namespace vexilo::gui {

ImageGridModel::ImageGridModel(const image::MemoryImage& image, QObject* parent)
    : QAbstractTableModel(parent), image_(image) {}

int ImageGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(image_.Rows());
}

int ImageGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(image_.Columns());
}

QVariant ImageGridModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      return QString::fromStdString(image_.Text(static_cast<uint32_t>(index.row()) + 1,
                                                static_cast<uint32_t>(index.column())));
    case Qt::BackgroundRole: {
      if (index.column() == 0) return QBrush(QColor(kFixedColour));
      const auto column = static_cast<uint32_t>(index.column());
      if (marks_ && column >= 1 && column <= image_.CellsPerRow() &&
          marks_(static_cast<uint32_t>(index.row()) * image_.CellsPerRow() + column - 1)) {
        return QBrush(QColor(kEditedColour));
      }
      return {};
    }
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    default:
      return {};
  }
}

QVariant ImageGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal) return {};
  if (role == Qt::DisplayRole) {
    return QString::fromStdString(image_.HeaderText(static_cast<uint32_t>(section)));
  }
  if (role == Qt::BackgroundRole) return QBrush(QColor(kFixedColour));
  return {};
}

Qt::ItemFlags ImageGridModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (editor_ && index.column() > 0) flags |= Qt::ItemIsEditable;
  return flags;
}

bool ImageGridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole || !editor_) return false;
  const QString text = value.toString();
  // Leaving the editor without a change is no edit.
  if (text == data(index, Qt::DisplayRole).toString()) return false;
  if (!editor_(static_cast<uint32_t>(index.row()) + 1, static_cast<uint32_t>(index.column()),
               text)) {
    return false;
  }
  const int row = index.row();
  emit dataChanged(this->index(row, 1), this->index(row, columnCount() - 1));
  return true;
}

void ImageGridModel::Refresh() {
  beginResetModel();
  endResetModel();
}

ImageGrid::ImageGrid(const image::MemoryImage& image, QWidget* parent)
    : QTableView(parent), image_(image), model_(new ImageGridModel(image, this)) {
  setModel(model_);
  QFont cells(QStringLiteral("DejaVu Sans Mono"));
  cells.setStyleHint(QFont::Monospace);
  cells.setPixelSize(11);
  setFont(cells);
  setFrameShape(QFrame::NoFrame);
  setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                  QAbstractItemView::AnyKeyPressed);
  setSelectionMode(QAbstractItemView::ContiguousSelection);
  setFocusPolicy(Qt::StrongFocus);
  setTabKeyNavigation(false);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DropOnly);
  setShowGrid(true);
  setWordWrap(false);
  setCornerButtonEnabled(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);

  QHeaderView* rows = verticalHeader();
  rows->setVisible(false);
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setMinimumSectionSize(15);
  rows->setDefaultSectionSize(15);

  QHeaderView* columns = horizontalHeader();
  columns->setSectionResizeMode(QHeaderView::Fixed);
  columns->setMinimumSectionSize(15);
  columns->setFixedHeight(15);
  columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  columns->setHighlightSections(false);
  columns->setSectionsClickable(false);
  columns->setFont(cells);
  columns->setStyleSheet(QStringLiteral(
      "QHeaderView::section { background-color: #A6CAF0; border: none;"
      " border-right: 1px solid #808080; border-bottom: 1px solid #808080; padding: 0 2px; }"));
  ApplyColumnWidths();
}

void ImageGrid::ApplyColumnWidths() {
  const int columns = model_->columnCount();
  const int cellWidth = image_.Kind() == image::ImageKind::Eeprom ? 21 : 43;
  for (int c = 0; c < columns; ++c) {
    setColumnWidth(c, c == 0 ? 50 : c == columns - 1 ? 131 : cellWidth);
  }
}

void ImageGrid::Refresh() {
  model_->Refresh();
  ApplyColumnWidths();
}

bool ImageGrid::GoToAddress(uint32_t address) {
  if (address >= image_.Cells()) return false;
  const uint32_t perRow = image_.CellsPerRow();
  const QModelIndex cell =
      model_->index(static_cast<int>(address / perRow), static_cast<int>(address % perRow) + 1);
  setCurrentIndex(cell);
  scrollTo(cell, QAbstractItemView::PositionAtCenter);
  setFocus();
  return true;
}

QString ImageGrid::SelectionAsHex() const {
  const int lastData = static_cast<int>(image_.CellsPerRow());
  std::map<int, std::map<int, QString>> rows;
  QModelIndexList cells = selectionModel()->selectedIndexes();
  if (cells.isEmpty() && currentIndex().isValid()) cells << currentIndex();
  for (const QModelIndex& cell : cells) {
    if (cell.column() < 1 || cell.column() > lastData) continue;
    rows[cell.row()][cell.column()] = cell.data().toString();
  }
  QStringList lines;
  for (const auto& [row, columns] : rows) {
    QStringList texts;
    for (const auto& [column, text] : columns) texts << text;
    lines << texts.join(' ');
  }
  return lines.join('\n');
}

bool ImageGrid::SelectedCells(uint32_t& first, uint32_t& last) const {
  const auto lastData = static_cast<int>(image_.CellsPerRow());
  QModelIndexList cells = selectionModel()->selectedIndexes();
  if (cells.isEmpty() && currentIndex().isValid()) cells << currentIndex();
  bool any = false;
  for (const QModelIndex& cell : cells) {
    if (cell.column() < 1 || cell.column() > lastData) continue;
    const auto index =
        static_cast<uint32_t>(cell.row()) * image_.CellsPerRow() + uint32_t(cell.column()) - 1;
    if (!any || index < first) first = index;
    if (!any || index > last) last = index;
    any = true;
  }
  return any;
}

uint32_t ImageGrid::CurrentCell() const {
  const QModelIndex index = currentIndex();
  if (!index.isValid()) return 0;
  const auto column = static_cast<uint32_t>(index.column());
  const uint32_t inRow = column >= 1 && column <= image_.CellsPerRow() ? column - 1 : 0;
  return static_cast<uint32_t>(index.row()) * image_.CellsPerRow() + inRow;
}

void ImageGrid::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    QApplication::clipboard()->setText(SelectionAsHex());
    event->accept();
    return;
  }
  if (event->matches(QKeySequence::Paste)) {
    uint32_t first = CurrentCell(), last = first;
    SelectedCells(first, last);
    emit PasteRequested(first, QApplication::clipboard()->text());
    event->accept();
    return;
  }
  QTableView::keyPressEvent(event);
}

namespace {

// The one local file of a drag, or an empty text.
QString DraggedFile(const QMimeData* data) {
  if (!data || !data->hasUrls() || data->urls().size() != 1) return {};
  const QUrl& url = data->urls().first();
  return url.isLocalFile() ? url.toLocalFile() : QString();
}

}  // namespace

void ImageGrid::dragEnterEvent(QDragEnterEvent* event) {
  if (DraggedFile(event->mimeData()).isEmpty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
}

void ImageGrid::dragMoveEvent(QDragMoveEvent* event) {
  if (DraggedFile(event->mimeData()).isEmpty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
}

void ImageGrid::dropEvent(QDropEvent* event) {
  const QString path = DraggedFile(event->mimeData());
  if (path.isEmpty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  emit FileDropped(path);
}

}  // namespace vexilo::gui
