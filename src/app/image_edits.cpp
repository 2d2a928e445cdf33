#include "app/image_edits.h"

#include <algorithm>

#include "image/image_edit.h"

namespace vexilo::app {
namespace {

size_t Index(ImageId id) { return static_cast<size_t>(id); }
constexpr ImageId kIds[] = {ImageId::Flash, ImageId::EepromInt, ImageId::EepromExt};

}  // namespace

void ImageEdits::TypeCell(Workspace& ws, ImageId id, uint32_t cell, const std::string& text) {
  image::MemoryImage changed = ws.Image(id);
  if (cell >= changed.Cells()) throw image::EditError("no such cell");
  changed.SetCell(cell, image::ParseCellText(changed.Kind(), text));
  Commit(ws, id, std::move(changed), {cell});
}

void ImageEdits::TypeAscii(Workspace& ws, ImageId id, uint32_t row, const std::string& text) {
  image::MemoryImage changed = ws.Image(id);
  const std::vector<uint32_t> cells = image::SetAsciiText(changed, row, text);
  if (!cells.empty()) Commit(ws, id, std::move(changed), cells);
}

void ImageEdits::FillCells(Workspace& ws, ImageId id, uint32_t from, uint32_t to, uint8_t value) {
  image::MemoryImage changed = ws.Image(id);
  image::Fill(changed, from, to, value);
  std::vector<uint32_t> cells(to - from + 1);
  for (uint32_t i = 0; i < cells.size(); ++i) cells[i] = from + i;
  Commit(ws, id, std::move(changed), cells);
}

std::vector<uint32_t> ImageEdits::Paste(Workspace& ws, ImageId id, uint32_t start,
                                        const std::string& text) {
  image::MemoryImage changed = ws.Image(id);
  std::vector<uint32_t> cells = image::PasteHexText(changed, start, text);
  Commit(ws, id, std::move(changed), cells);
  return cells;
}

void ImageEdits::Commit(Workspace& ws, ImageId id, image::MemoryImage changed,
                        const std::vector<uint32_t>& cells) {
  Record(ws);
  ws.Image(id) = std::move(changed);
  for (uint32_t cell : cells) Mark(id, cell, ws.Image(id).Cells());
}

void ImageEdits::Mark(ImageId id, uint32_t cell, uint32_t cells) {
  std::vector<bool>& marks = marks_[Index(id)];
  if (marks.size() != cells) marks.assign(cells, false);
  marks[cell] = true;
}

ImageEdits::State ImageEdits::Current(const Workspace& ws) const {
  return {{ws.flash, ws.eepromInt, ws.eepromExt}, marks_};
}

void ImageEdits::Restore(Workspace& ws, State state) {
  for (ImageId id : kIds) {
    // A state of other sizes belongs to another card type: never put it back.
    if (state.images[Index(id)].Cells() != ws.Image(id).Cells()) return;
  }
  for (ImageId id : kIds) ws.Image(id) = std::move(state.images[Index(id)]);
  marks_ = std::move(state.marks);
}

void ImageEdits::Record(const Workspace& ws) {
  undo_.push_back(Current(ws));
  if (undo_.size() > kUndoSteps) undo_.erase(undo_.begin());
  redo_.clear();
}

void ImageEdits::DropIfUnchanged(const Workspace& ws) {
  if (undo_.empty()) return;
  const State& last = undo_.back();
  if (last.images[0] == ws.flash && last.images[1] == ws.eepromInt &&
      last.images[2] == ws.eepromExt) {
    undo_.pop_back();
  }
}

void ImageEdits::AfterReplace(const Workspace& ws) {
  if (undo_.empty()) return;
  const State& last = undo_.back();
  bool changed = false;
  for (ImageId id : kIds) {
    if (last.images[Index(id)] == ws.Image(id)) continue;
    ClearMarks(id);
    changed = true;
  }
  if (!changed) undo_.pop_back();
}

void ImageEdits::ClearMarks(ImageId id) { marks_[Index(id)].clear(); }

bool ImageEdits::Marked(ImageId id, uint32_t cell) const {
  const std::vector<bool>& marks = marks_[Index(id)];
  return cell < marks.size() && marks[cell];
}

bool ImageEdits::Unsaved(ImageId id) const {
  const std::vector<bool>& marks = marks_[Index(id)];
  return std::find(marks.begin(), marks.end(), true) != marks.end();
}

bool ImageEdits::AnyUnsaved() const {
  return std::any_of(std::begin(kIds), std::end(kIds), [this](ImageId id) { return Unsaved(id); });
}

bool ImageEdits::Undo(Workspace& ws) { return StepBack(undo_, redo_, ws); }

bool ImageEdits::Redo(Workspace& ws) { return StepBack(redo_, undo_, ws); }

// Goes back to the newest state of `from`, keeping what the images are now on `to`.
bool ImageEdits::StepBack(std::vector<State>& from, std::vector<State>& to, Workspace& ws) {
  if (from.empty()) return false;
  to.push_back(Current(ws));
  State state = std::move(from.back());
  from.pop_back();
  Restore(ws, std::move(state));
  return true;
}

void ImageEdits::Resized(ImageId id) {
  undo_.clear();
  redo_.clear();
  marks_[Index(id)].clear();
}

void ImageEdits::Reset() {
  undo_.clear();
  redo_.clear();
  for (std::vector<bool>& marks : marks_) marks.clear();
}

}  // namespace vexilo::app
