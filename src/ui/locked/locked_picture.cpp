#include "ui/locked/locked_picture.h"

#include <optional>
#include <string>
#include <vector>

#include <wx/log.h>
#include <wx/mstream.h>

#include "locked/picture_fit.h"
#include "platform/files.h"

namespace wexmoor {

namespace {

// The format of the bytes by their signature; only the accepted formats are
// handed to a decoder, so zeros or stray bytes never reach a lenient one.
std::optional<wxBitmapType> PictureType(const unsigned char* bytes, std::size_t length) {
  auto starts = [&](std::initializer_list<unsigned char> signature) {
    if (length < signature.size()) return false;
    std::size_t i = 0;
    for (unsigned char b : signature) {
      if (bytes[i++] != b) return false;
    }
    return true;
  };
  if (starts({0xFF, 0xD8, 0xFF})) return wxBITMAP_TYPE_JPEG;
  if (starts({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})) return wxBITMAP_TYPE_PNG;
  if (starts({'G', 'I', 'F', '8'})) return wxBITMAP_TYPE_GIF;
  if (starts({'B', 'M'})) return wxBITMAP_TYPE_BMP;
  if (starts({0, 0, 1, 0})) return wxBITMAP_TYPE_ICO;
  return std::nullopt;
}

void AddHandlerOnce(wxBitmapType type, wxImageHandler* (*make)()) {
  if (!wxImage::FindHandler(type)) wxImage::AddHandler(make());
}

}  // namespace

void InitPictureHandlers() {
  AddHandlerOnce(wxBITMAP_TYPE_JPEG, [] { return static_cast<wxImageHandler*>(new wxJPEGHandler); });
  AddHandlerOnce(wxBITMAP_TYPE_PNG, [] { return static_cast<wxImageHandler*>(new wxPNGHandler); });
  AddHandlerOnce(wxBITMAP_TYPE_GIF, [] { return static_cast<wxImageHandler*>(new wxGIFHandler); });
  AddHandlerOnce(wxBITMAP_TYPE_ICO, [] { return static_cast<wxImageHandler*>(new wxICOHandler); });
  // BMP's handler is always registered by wxWidgets itself.
}

bool PictureSlot::LoadPicture(const unsigned char* bytes, std::size_t length) {
  if (bytes == nullptr || length == 0) return false;
  auto type = PictureType(bytes, length);
  if (!type) return false;
  wxLogNull quiet;  // a damaged picture is refused without a message box
  wxMemoryInputStream stream(bytes, length);
  wxImage decoded;
  if (!decoded.LoadFile(stream, *type) || !decoded.IsOk() || decoded.GetWidth() <= 0 ||
      decoded.GetHeight() <= 0) {
    return false;
  }
  image_ = decoded;
  return true;
}

bool PictureSlot::LoadPicture(std::span<const volatile unsigned char> area) {
  std::vector<unsigned char> bytes(area.size());
  for (std::size_t i = 0; i < area.size(); ++i) bytes[i] = area[i];
  return LoadPicture(bytes.data(), bytes.size());
}

bool PictureSlot::LoadPictureFile(const Text& path) {
  std::optional<std::string> bytes = ReadWholeFile(path);
  if (!bytes) return false;
  return LoadPicture(reinterpret_cast<const unsigned char*>(bytes->data()), bytes->size());
}

bool PictureSlot::FitPicture(int maxWidth, int maxHeight) {
  if (!image_.IsOk()) return false;
  FittedSize fitted = wexmoor::FitPicture(image_.GetWidth(), image_.GetHeight(), maxWidth, maxHeight);
  if (!fitted.changed) return false;
  image_.Rescale(fitted.size.width, fitted.size.height, wxIMAGE_QUALITY_HIGH);
  return true;
}

}  // namespace wexmoor
