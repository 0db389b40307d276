// The picture of a locked copy: decoded from the bytes of the picture area or
// from a chosen file, and shrunk to fit its box.
#pragma once

#include <cstddef>
#include <span>

#include <wx/bitmap.h>
#include <wx/image.h>

#include "platform/text.h"

namespace wexmoor {

// Makes sure the decoders of the accepted formats (JPEG, PNG, GIF, BMP, ICO)
// are registered with wxImage. Call once at start-up, after the window system
// has started; calling it again changes nothing.
void InitPictureHandlers();

// One decoded picture, at the picture's own pixel size. Owned by whoever shows
// it (the program's state for a locked copy's window, the generator dialog for
// its preview).
class PictureSlot {
 public:
  // Decodes JPEG, PNG, GIF, BMP or ICO bytes; bytes after the picture's end
  // (the zeros of the picture area) are ignored. On failure the slot keeps
  // what it held and false is returned.
  bool LoadPicture(const unsigned char* bytes, std::size_t length);
  // The same from an area of the program's image, read byte by byte.
  bool LoadPicture(std::span<const volatile unsigned char> area);
  // Reads the file whole, then decodes it.
  bool LoadPictureFile(const Text& path);
  // Shrinks the picture to fit maxWidth x maxHeight, keeping its proportions;
  // true when it changed.
  bool FitPicture(int maxWidth, int maxHeight);

  bool HasPicture() const { return image_.IsOk(); }
  int Width() const { return image_.IsOk() ? image_.GetWidth() : 0; }
  int Height() const { return image_.IsOk() ? image_.GetHeight() : 0; }
  const wxImage& Image() const { return image_; }
  wxBitmap Bitmap() const { return image_.IsOk() ? wxBitmap(image_) : wxBitmap(); }
  void Clear() { image_ = wxImage(); }

 private:
  wxImage image_;
};

}  // namespace wexmoor
