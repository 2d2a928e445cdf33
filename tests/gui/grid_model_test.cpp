#include "gui/grid_model.h"

#include <gtest/gtest.h>

#include <QBrush>

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

}  // namespace
}  // namespace vexilo::gui
