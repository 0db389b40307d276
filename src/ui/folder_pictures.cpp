#include "ui/folder_pictures.h"

#include <wx/image.h>

namespace wexmoor {

namespace {

// A yellow folder with its tab.
const char* const kFolderXpm[] = {
    "16 16 5 1",
    "  c None",
    "o c #8C6A12",
    "y c #F5C542",
    "l c #FBE08A",
    "d c #D9A520",
    "                ",
    "                ",
    " oooo           ",
    "olllloooooooo   ",
    "oyyyyyyyyyyyyo  ",
    "oyllllllllllllo ",
    "oyldddddddddddo ",
    "oyldyyyyyyyyydo ",
    "oyldyyyyyyyyydo ",
    "oyldyyyyyyyyydo ",
    "oyldyyyyyyyyydo ",
    "oyldyyyyyyyyydo ",
    "oyddddddddddddo ",
    " oooooooooooooo ",
    "                ",
    "                ",
};

// A white page with a folded corner and lines of text.
const char* const kFileXpm[] = {
    "16 16 4 1",
    "  c None",
    "o c #5A5A5A",
    "w c #FFFFFF",
    "g c #9AA6B8",
    "                ",
    "  ooooooooo     ",
    "  owwwwwwwoo    ",
    "  owwwwwwwowo   ",
    "  owggggwwoooo  ",
    "  owwwwwwwwwwo  ",
    "  owggggggggwo  ",
    "  owwwwwwwwwwo  ",
    "  owggggggggwo  ",
    "  owwwwwwwwwwo  ",
    "  owggggggggwo  ",
    "  owwwwwwwwwwo  ",
    "  owgggggwwwwo  ",
    "  owwwwwwwwwwo  ",
    "  oooooooooooo  ",
    "                ",
};

// A folder with a green arrow pointing up and left: one level up.
const char* const kParentFolderXpm[] = {
    "20 20 7 1",
    "  c None",
    "o c #8C6A12",
    "y c #F5C542",
    "l c #FBE08A",
    "d c #D9A520",
    "g c #1E8C2A",
    "G c #5CCB5F",
    "                    ",
    "                    ",
    "      g             ",
    "     gGg            ",
    "    gGGGg           ",
    "   gGGGGGg          ",
    "  ggggGGgggg        ",
    "     gGGg           ",
    " oooogGGgoo         ",
    "ollllgGGgGGgggooo   ",
    "oyyyygGGGGGGGGgyyo  ",
    "oylllggGGGGGGGglllo ",
    "oylddddggggggggdddo ",
    "oyldyyyyyyyyyyyyydo ",
    "oyldyyyyyyyyyyyyydo ",
    "oyldyyyyyyyyyyyyydo ",
    "oyldyyyyyyyyyyyyydo ",
    "oyddddddddddddddddo ",
    " oooooooooooooooooo ",
    "                    ",
};

}  // namespace

FolderPictures MakeFolderPictures() {
  FolderPictures pictures;
  pictures.folder = wxBitmap(kFolderXpm);
  pictures.file = wxBitmap(kFileXpm);
  pictures.parentFolder = wxBitmap(kParentFolderXpm);
  pictures.parentFolderGreyed = pictures.parentFolder.ConvertToDisabled();
  return pictures;
}

}  // namespace wexmoor
