#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "app/workspace.h"
#include "image/memory_image.h"

namespace vexilo::app {

// The changes a person makes to the three images by hand: typing into a cell or the ASCII
// column, filling a range, pasting hex text. Each is checked whole before anything changes
// (image::EditError), marks the cells it wrote until the image is saved or replaced, and can be
// undone; so can loads and reads, which record the images before they replace them.
class ImageEdits {
 public:
  // Typed cell text, as the grid shows the cell.
  void TypeCell(Workspace& ws, ImageId id, uint32_t cell, const std::string& text);
  // Typed text in the ASCII column of data row `row` (from 1).
  void TypeAscii(Workspace& ws, ImageId id, uint32_t row, const std::string& text);
  void FillCells(Workspace& ws, ImageId id, uint32_t from, uint32_t to, uint8_t value);
  // Returns the cells written.
  std::vector<uint32_t> Paste(Workspace& ws, ImageId id, uint32_t start, const std::string& text);

  // Before a load or a read replaces images: keeps them for Undo.
  void Record(const Workspace& ws);
  // After a command that may not have changed anything (a read that failed at once): the
  // record just made goes when the images are as it kept them.
  void DropIfUnchanged(const Workspace& ws);
  // After a command: the record goes when nothing changed; otherwise the marks of every image
  // it replaced go.
  void AfterReplace(const Workspace& ws);
  // Image `id` was saved, loaded or read: its cells are no longer marked.
  void ClearMarks(ImageId id);

  bool Marked(ImageId id, uint32_t cell) const;
  // Edited cells not yet saved.
  bool Unsaved(ImageId id) const;
  bool AnyUnsaved() const;

  bool CanUndo() const { return !undo_.empty(); }
  bool CanRedo() const { return !redo_.empty(); }
  // False when there is nothing to undo or redo.
  bool Undo(Workspace& ws);
  bool Redo(Workspace& ws);
  // The card type or an image size changed: the images start afresh, without history.
  void Reset();
  // Image `id` was made afresh in another size: the history goes (it holds the old size), and
  // so do that image's marks; the other images' edits stay marked until they are saved.
  void Resized(ImageId id);

 private:
  using Marks = std::array<std::vector<bool>, 3>;
  struct State {
    std::array<image::MemoryImage, 3> images;
    Marks marks;
  };
  State Current(const Workspace& ws) const;
  void Restore(Workspace& ws, State state);
  bool StepBack(std::vector<State>& from, std::vector<State>& to, Workspace& ws);
  void Commit(Workspace& ws, ImageId id, image::MemoryImage changed,
              const std::vector<uint32_t>& cells);
  void Mark(ImageId id, uint32_t cell, uint32_t cells);

  std::vector<State> undo_, redo_;
  Marks marks_;
};

// Enough steps back for a session's edits, without holding hundreds of 128 KB images.
inline constexpr size_t kUndoSteps = 50;

}  // namespace vexilo::app
