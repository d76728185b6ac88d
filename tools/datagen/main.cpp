// make_game_data FOLDER: writes the game's whole data tree (pictures, sound
// effects, music and its list) to FOLDER/data, and beside it a contact sheet
// of every picture. The tree is made under another name and renamed into
// place once complete, so a failed run never leaves a tree that looks whole;
// any failure exits with 1.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <vector>

#include "tools/datagen/contact_sheet.h"
#include "tools/datagen/glyphs.h"
#include "tools/datagen/manifest.h"
#include "tools/datagen/music.h"
#include "tools/datagen/sounds.h"

namespace fs = std::filesystem;

namespace {

void WriteTree(const fs::path& tree, const fs::path& contactSheet) {
  datagen::OpenGothicFace();
  std::vector<datagen::PaintedSheet> painted;
  for (const datagen::PictureSheet& sheet : datagen::PictureSheets()) {
    painted.push_back(datagen::PaintSheet(sheet));
    const datagen::PaintedSheet& p = painted.back();
    datagen::WritePng((tree / sheet.path).string(), p.width, p.height, p.rgba);
  }
  datagen::WriteContactSheet(contactSheet.string(), painted);
  datagen::CloseGothicFace();
  datagen::WriteSoundEffects(tree.string());
  datagen::WriteMusic(tree.string());
}

// Swaps the new tree in for the old one; "data" is never a partial tree.
void ReplaceTree(const fs::path& made, const fs::path& tree) {
  const fs::path old = tree.string() + ".old";
  fs::remove_all(old);
  if (fs::exists(tree)) fs::rename(tree, old);
  fs::rename(made, tree);
  fs::remove_all(old);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_game_data FOLDER\n");
    return 2;
  }
  const fs::path folder = argv[1];
  const fs::path made = folder / "data.partial", sheetMade = folder / "data-contact-sheet.partial.png";
  try {
    fs::remove_all(made);
    WriteTree(made, sheetMade);
    ReplaceTree(made, folder / "data");
    fs::rename(sheetMade, folder / "data-contact-sheet.png");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_game_data: %s\n", e.what());
    std::error_code ignored;
    fs::remove_all(made, ignored);
    fs::remove(sheetMade, ignored);
    return 1;
  }
  return 0;
}
