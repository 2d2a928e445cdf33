// Loading, saving and showing the largest image: the 128 KB FLASH of the ATmega128 card.
// Goals on a developer machine: a load under 5 ms, every cell text of the image under 5 ms.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "app/card_catalogue.h"
#include "image/image_files.h"

namespace {

using vexilo::image::FlashFile;
using vexilo::image::ImageKind;
using vexilo::image::MemoryImage;

const vexilo::image::ImageLayout kBlack = vexilo::app::FindCardTypeByName("black")->Layout();

FlashFile FullImage() {
  FlashFile file{MemoryImage(ImageKind::AvrFlash, 65536), MemoryImage(ImageKind::Eeprom, 4096)};
  for (uint32_t w = 0; w < 65536; ++w) file.flash.SetCell(w, static_cast<uint16_t>(w * 40503u));
  return file;
}

std::string TempFile() {
  return (std::filesystem::temp_directory_path() /
          ("vexilo-bench-" + std::to_string(getpid()) + ".hex"))
      .string();
}

void BM_LoadBlackCardFlash(benchmark::State& state) {
  std::string path = TempFile();
  vexilo::image::SaveFlashHex(path, FullImage());
  for (auto _ : state) benchmark::DoNotOptimize(vexilo::image::LoadFlashHex(path, kBlack));
  std::filesystem::remove(path);
}
BENCHMARK(BM_LoadBlackCardFlash)->Unit(benchmark::kMillisecond);

void BM_SaveBlackCardFlash(benchmark::State& state) {
  std::string path = TempFile();
  FlashFile file = FullImage();
  for (auto _ : state) vexilo::image::SaveFlashHex(path, file);
  std::filesystem::remove(path);
}
BENCHMARK(BM_SaveBlackCardFlash)->Unit(benchmark::kMillisecond);

void BM_RenderEveryCellText(benchmark::State& state) {
  FlashFile file = FullImage();
  const MemoryImage& flash = file.flash;
  for (auto _ : state) {
    size_t chars = 0;
    for (uint32_t row = 0; row <= flash.Rows(); ++row) {
      for (uint32_t col = 0; col < flash.Columns(); ++col) chars += flash.Text(row, col).size();
    }
    benchmark::DoNotOptimize(chars);
  }
}
BENCHMARK(BM_RenderEveryCellText)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
