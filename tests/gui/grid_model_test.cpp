#include "gui/grid_model.h"

#include <gtest/gtest.h>

#include <QBrush>
#include <QItemSelectionModel>

#include "app/workspace.h"

namespace vexilo::gui {
namespace {

void SetCard(app::Workspace& ws, const char* alias) {
  ws.SetCardTypeText(std::string(app::FindCardTypeByName(alias)->text));
}

TEST(ImageGrid, ShowsTheImageWithFixedHeaderAddressAndAsciiColumns) {
  app::Workspace ws;
  SetCard(ws, "black");
  ImageGrid grid(ws.flash);
  QAbstractItemModel& m = *grid.model();
  ASSERT_EQ(m.rowCount(), 8192);
  ASSERT_EQ(m.columnCount(), 10);
  EXPECT_EQ(m.headerData(0, Qt::Horizontal).toString(), "Adres");
  EXPECT_EQ(m.headerData(1, Qt::Horizontal).toString(), "+0");
  EXPECT_EQ(m.headerData(9, Qt::Horizontal).toString(), "ASCII");
  EXPECT_EQ(m.index(0, 0).data().toString(), "0000");
  EXPECT_EQ(m.index(8191, 0).data().toString(), "FFF8");
  EXPECT_EQ(m.index(8191, 8).data().toString(), "FFFF");
  EXPECT_EQ(m.index(3, 9).data().toString(), "................");
  EXPECT_EQ(m.index(0, 0).data(Qt::BackgroundRole).value<QBrush>().color(), QColor(kFixedColour));
  EXPECT_FALSE(m.index(0, 1).data(Qt::BackgroundRole).isValid());
  EXPECT_FALSE(m.flags(m.index(0, 1)) & Qt::ItemIsEditable);
  EXPECT_EQ(grid.columnWidth(0), 50);
  EXPECT_EQ(grid.columnWidth(1), 43);
  EXPECT_EQ(grid.columnWidth(9), 131);
}

TEST(ImageGrid, RefreshShowsANewSizeAndNewContentsWithTheSameColumnWidths) {
  app::Workspace ws;
  SetCard(ws, "fun");
  ImageGrid grid(ws.eepromExt);
  EXPECT_EQ(grid.model()->rowCount(), 512);
  EXPECT_EQ(grid.columnWidth(5), 21);
  ws.SelectExtSize(3);
  ws.eepromExt.SetCell(0x41 * 16 + 1, 'A');
  grid.Refresh();
  QAbstractItemModel& m = *grid.model();
  EXPECT_EQ(m.rowCount(), 4096);
  EXPECT_EQ(m.index(0x41, 2).data().toString(), "41");
  EXPECT_EQ(m.index(0x41, 17).data().toString(), ".A..............");
  EXPECT_EQ(m.index(4095, 0).data().toString(), "FFF0");
  EXPECT_EQ(grid.columnWidth(0), 50);
  EXPECT_EQ(grid.columnWidth(16), 21);
  EXPECT_EQ(grid.columnWidth(17), 131);
}

TEST(ImageGrid, GoesToAnAddressAndCopiesTheSelectedCellsAsHex) {
  app::Workspace ws;
  SetCard(ws, "black");
  for (uint32_t i = 0; i < 16; ++i) ws.flash.SetCell(0x1230 + i, static_cast<uint16_t>(0x0100 + i));
  ImageGrid grid(ws.flash);
  grid.resize(400, 200);
  EXPECT_FALSE(grid.GoToAddress(65536)) << "past the last word";
  ASSERT_TRUE(grid.GoToAddress(0x1235));
  EXPECT_EQ(grid.currentIndex().row(), 0x1235 / 8);
  EXPECT_EQ(grid.currentIndex().column(), 0x1235 % 8 + 1);
  EXPECT_EQ(grid.SelectionAsHex(), "0501");
  // Two rows, the address column and cells +0 and +1: the address is left out.
  QAbstractItemModel& m = *grid.model();
  grid.selectionModel()->select(QItemSelection(m.index(0x1230 / 8, 0), m.index(0x1238 / 8, 2)),
                                QItemSelectionModel::ClearAndSelect);
  EXPECT_EQ(grid.SelectionAsHex(), "0001 0101\n0801 0901");
  EXPECT_FALSE(m.flags(m.index(0, 1)) & Qt::ItemIsEditable);
}

}  // namespace
}  // namespace vexilo::gui
