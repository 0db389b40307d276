// The small pictures of the remote browser: the parent-folder button (normal
// and greyed) and the folder and file pictures of the content list.
#pragma once

#include <wx/bitmap.h>

namespace wexmoor {

struct FolderPictures {
  wxBitmap parentFolder;        // 20 x 20
  wxBitmap parentFolderGreyed;  // 20 x 20
  wxBitmap folder;              // 16 x 16
  wxBitmap file;                // 16 x 16
};

// Decodes the pictures; call on the window's thread once wx runs.
FolderPictures MakeFolderPictures();

}  // namespace wexmoor
