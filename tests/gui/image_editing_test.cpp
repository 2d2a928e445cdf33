// Editing the images by hand in the window: typing into cells and the ASCII column, fill,
// paste, undo and redo, with the limits of each cell and the unsaved mark in the title.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QTest>
#include <functional>

#include "gui/grid_model.h"
#include "window_fixture.h"

namespace vexilo::gui {
namespace {

using app::ImageId;
using test::WindowFixture;

// Types `text` into the grid cell at data row `row`, column `column`, as Enter takes it.
bool Type(TForm1& w, ImageId id, int row, int column, const char* text) {
  ImageGridModel& model = w.Grid(id).Model();
  return model.setData(model.index(row - 1, column), QString::fromUtf8(text), Qt::EditRole);
}

void Key(TForm1& w, QKeySequence keys) {
  w.show();
  QApplication::setActiveWindow(&w);
  QTest::keySequence(&w, keys);
  QCoreApplication::processEvents();
}

struct EditCase {
  const char* what;
  const char* card;
  ImageId image;
  std::function<void(TForm1&)> act;
  uint32_t cell;         // the cell looked at afterwards
  const char* cellText;  // what it shows
  bool unsaved;          // edited cells marked, title with " *"
  bool refused;          // a message said why nothing changed
};

TEST(ImageEditing, EditsKeepToTheCellWidthsAndUndoRestoresThem) {
  const ImageId kFlash = ImageId::Flash, kInt = ImageId::EepromInt;
  const EditCase kCases[] = {
      {"hex byte", "fun", kInt, [](TForm1& w) { Type(w, kInt, 1, 3, "5a"); }, 2, "5A", true, false},
      {"AVR word, low byte first", "fun", kFlash, [](TForm1& w) { Type(w, kFlash, 2, 1, "0C94"); },
       8, "0C94", true, false},
      {"three digits in a byte cell", "fun", kInt, [](TForm1& w) { Type(w, kInt, 1, 1, "1FF"); }, 0,
       "FF", false, true},
      {"not hex", "fun", kInt, [](TForm1& w) { Type(w, kInt, 1, 1, "G1"); }, 0, "FF", false, true},
      {"PIC word at its 14-bit limit", "wafer", kFlash,
       [](TForm1& w) { Type(w, kFlash, 1, 1, "3FFE"); }, 0, "3FFE", true, false},
      {"PIC word past 14 bits", "wafer", kFlash, [](TForm1& w) { Type(w, kFlash, 1, 1, "4000"); },
       0, "3FFF", false, true},
      {"ASCII column", "fun", kInt, [](TForm1& w) { Type(w, kInt, 1, 17, "Hi.............."); }, 1,
       "69", true, false},
      {"ASCII into a PIC word's high byte", "wafer", kFlash,
       [](TForm1& w) { Type(w, kFlash, 1, 9, "A..............."); }, 0, "3FFF", false, true},
      {"ASCII into a PIC word's low byte", "wafer", kFlash,
       [](TForm1& w) { Type(w, kFlash, 1, 9, "?A.............."); }, 0, "3F41", true, false},
      {"fill a range", "fun", kInt, [](TForm1& w) { w.FillImage(kInt, 0x10, 0x1FF, 0x00); }, 0x1FF,
       "00", true, false},
      {"fill a PIC image with FF: the erased word", "wafer", kFlash,
       [](TForm1& w) { w.FillImage(kFlash, 0, 0x3FF, 0x00), w.FillImage(kFlash, 0, 0x3FF, 0xFF); },
       0x3FF, "3FFF", true, false},
      {"fill past the end", "fun", kInt, [](TForm1& w) { w.FillImage(kInt, 0, 0x200, 0); }, 0, "FF",
       false, true},
      {"paste two rows", "fun", kInt, [](TForm1& w) { w.PasteInto(kInt, 1, "11 22\n33 4455"); }, 19,
       "55", true, false},
      {"paste past the row's end", "fun", kInt, [](TForm1& w) { w.PasteInto(kInt, 15, "11 22"); },
       15, "FF", false, true},
      {"paste text that is not hex", "fun", kInt, [](TForm1& w) { w.PasteInto(kInt, 0, "hello"); },
       0, "FF", false, true},
      {"undo an edit", "fun", kInt,
       [](TForm1& w) { Type(w, kInt, 1, 1, "00"), Key(w, QKeySequence(Qt::CTRL | Qt::Key_Z)); }, 0,
       "FF", false, false},
      {"redo it", "fun", kInt,
       [](TForm1& w) {
         Type(w, kInt, 1, 1, "00");
         Key(w, QKeySequence(Qt::CTRL | Qt::Key_Z));
         Key(w, QKeySequence(Qt::CTRL | Qt::Key_Y));
       },
       0, "00", true, false},
      {"undo a fill after an edit keeps the edit", "fun", kInt,
       [](TForm1& w) {
         Type(w, kInt, 1, 1, "12");
         w.FillImage(kInt, 0, 0x1FF, 0xAA);
         w.UndoEdit();
       },
       0, "12", true, false},
  };
  for (const EditCase& c : kCases) {
    SCOPED_TRACE(c.what);
    WindowFixture f;
    TForm1& w =
        f.Start("[TYP]\r\nKARTA=" + std::string(app::FindCardTypeByName(c.card)->text) + "\r\n");
    c.act(w);
    const image::MemoryImage& image = w.Workspace().Image(c.image);
    EXPECT_EQ(image.CellText(c.cell), c.cellText);
    EXPECT_EQ(w.Edits().Marked(c.image, c.cell), c.unsaved);
    EXPECT_EQ(w.windowTitle().endsWith(" *"), c.unsaved);
    EXPECT_EQ(f.messages.size(), c.refused ? 1 : 0) << f.messages.join('\n').toStdString();
    // The checksum line follows the image.
    EXPECT_EQ(f.Find<QLabel>(c.image == kFlash ? "flash_checksum" : "eeprom_int_checksum")->text(),
              w.ChecksumText(c.image));
  }
}

// Closing, loading over, changing the card type or the external EEPROM size under unsaved
// edits asks first; No keeps them.
TEST(ImageEditing, UnsavedEditsAreNotLostWithoutAsking) {
  WindowFixture f;
  TForm1& w = f.Start("[TYP]\r\nKARTA=Fun Card - 90S8515 + 24Cxx\r\n");
  f.dir.Write("a.bin", std::string(512, '\x11'));
  ASSERT_TRUE(Type(w, ImageId::EepromInt, 1, 1, "00"));
  f.answer = false;
  w.LoadDroppedFile(ImageId::EepromInt, QString::fromStdString(f.dir.Path() + "/a.bin"));
  EXPECT_FALSE(w.close());
  f.Find<QComboBox>("typ")->setCurrentText("Wafer Card - 16F84 + 24C16");
  EXPECT_EQ(f.Find<QComboBox>("typ")->currentText(), "Fun Card - 90S8515 + 24Cxx");
  EXPECT_EQ(f.questions.size(), 3);
  EXPECT_EQ(w.Workspace().eepromInt.CellText(0), "00");
  // Another external EEPROM size is a new image: asked for its edits only.
  ASSERT_TRUE(Type(w, ImageId::EepromExt, 1, 1, "00"));
  auto* c128 = f.Find<QRadioButton>("c128");
  c128->click();
  EXPECT_FALSE(c128->isChecked());
  EXPECT_EQ(w.Workspace().eepromExt.CellText(0), "00");
  f.answer = true;
  c128->click();
  EXPECT_TRUE(c128->isChecked());
  EXPECT_EQ(w.Workspace().eepromExt.CellText(0), "FF");
  EXPECT_TRUE(w.Edits().Unsaved(ImageId::EepromInt));
  w.LoadDroppedFile(ImageId::EepromInt, QString::fromStdString(f.dir.Path() + "/a.bin"));
  EXPECT_EQ(w.Workspace().eepromInt.CellText(0), "11");
  EXPECT_FALSE(w.Edits().AnyUnsaved());
  EXPECT_TRUE(w.windowTitle().endsWith(" - a.bin"));
  // The load is undone like an edit.
  w.UndoEdit();
  EXPECT_EQ(w.Workspace().eepromInt.CellText(0), "00");
}

}  // namespace
}  // namespace vexilo::gui
