// Owner drawing: system colours, brushes, text and focus rectangles on the
// device context a WM_DRAWITEM hands over, and image lists with their
// transparent colour.
#include <QApplication>
#include <QPalette>
#include <QPen>

#include "platform/windows/qt/qt_layer.h"

namespace platform::qt::detail {

COLORREF QtWindows::GetSysColor(int index) {
  return OnInterfaceThread([&]() -> COLORREF {
    const QPalette palette = QApplication::palette();
    switch (index) {
      case COLOR_WINDOW: return ToColorRef(palette.color(QPalette::Base));
      case COLOR_WINDOWTEXT: return ToColorRef(palette.color(QPalette::Text));
      case COLOR_HIGHLIGHT: return ToColorRef(palette.color(QPalette::Highlight));
      case COLOR_HIGHLIGHTTEXT: return ToColorRef(palette.color(QPalette::HighlightedText));
      default: return ToColorRef(palette.color(QPalette::Window));
    }
  });
}

int QtWindows::FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  auto* context = static_cast<DeviceContext*>(dc);
  auto* gdi = static_cast<GdiObject*>(brush);
  if (context == nullptr || rect == nullptr || gdi == nullptr || gdi->kind != GdiObject::Brush) return 0;
  context->painter->fillRect(FromRect(*rect), gdi->colour);
  return 1;
}

int QtWindows::SetBkMode(HDC dc, int mode) {
  auto* context = static_cast<DeviceContext*>(dc);
  if (context == nullptr) return 0;
  const int previous = context->backgroundMode;
  context->backgroundMode = mode;
  return previous;
}

COLORREF QtWindows::SetTextColor(HDC dc, COLORREF colour) {
  auto* context = static_cast<DeviceContext*>(dc);
  if (context == nullptr) return 0xFFFFFFFF;  // CLR_INVALID
  const COLORREF previous = ToColorRef(context->textColour);
  context->textColour = FromColorRef(colour);
  return previous;
}

int QtWindows::DrawText(HDC dc, const char* text, int length, RECT* rect, UINT format) {
  auto* context = static_cast<DeviceContext*>(dc);
  if (context == nullptr || text == nullptr || rect == nullptr) return 0;
  const QString string = length < 0 ? QString::fromUtf8(text) : QString::fromUtf8(text, length);
  int flags = (format & DT_CENTER) ? Qt::AlignHCenter : Qt::AlignLeft;
  // DT_VCENTER centres single-line text only; otherwise text starts at the top.
  const bool single = (format & DT_SINGLELINE) != 0;
  flags |= single && (format & DT_VCENTER) ? Qt::AlignVCenter : Qt::AlignTop;
  QPainter& painter = *context->painter;
  painter.save();
  painter.setClipRect(FromRect(*rect));
  painter.setPen(context->textColour);
  QRect bounds;
  painter.drawText(FromRect(*rect), flags, single ? QString(string).replace('\n', ' ') : string, &bounds);
  painter.restore();
  return bounds.height();
}

BOOL QtWindows::DrawFocusRect(HDC dc, const RECT* rect) {
  auto* context = static_cast<DeviceContext*>(dc);
  if (context == nullptr || rect == nullptr) return FALSE;
  QPainter& painter = *context->painter;
  painter.save();
  QPen pen(context->textColour, 1, Qt::DotLine);
  painter.setPen(pen);
  painter.drawRect(FromRect(*rect).adjusted(0, 0, -1, -1));
  painter.restore();
  return TRUE;
}

int QtWindows::ImageListAddMasked(HIMAGELIST handle, HBITMAP bitmap, COLORREF mask) {
  auto* list = static_cast<ImageList*>(handle);
  auto* gdi = static_cast<GdiObject*>(bitmap);
  if (list == nullptr || gdi == nullptr || gdi->kind != GdiObject::Bitmap || list->cx <= 0) return -1;
  const int first = static_cast<int>(list->images.size());
  const QRgb transparent = qRgb(mask & 0xFF, (mask >> 8) & 0xFF, (mask >> 16) & 0xFF);
  // One image for every whole cx columns of the bitmap; what is left over
  // at the right is dropped, as the image list does.
  for (int left = 0; left + list->cx <= gdi->image.width(); left += list->cx) {
    QImage image = gdi->image.copy(left, 0, list->cx, list->cy).convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if ((image.pixel(x, y) & 0xFFFFFF) == (transparent & 0xFFFFFF)) image.setPixel(x, y, 0);
    list->images.push_back(image);
  }
  return static_cast<int>(list->images.size()) > first ? first : -1;
}

BOOL QtWindows::ImageListDraw(HIMAGELIST handle, int index, HDC dc, int x, int y, UINT) {
  auto* list = static_cast<ImageList*>(handle);
  auto* context = static_cast<DeviceContext*>(dc);
  if (list == nullptr || context == nullptr || index < 0 || index >= static_cast<int>(list->images.size()))
    return FALSE;
  context->painter->drawImage(QPoint(x, y), list->images[static_cast<size_t>(index)]);
  return TRUE;
}

// Bitmaps and icons of the program module. An icon is loaded once and
// shared, as Windows shares resource icons; a bitmap is the caller's.
HICON QtWindows::LoadIcon(HINSTANCE instance, UINT id) {
  return OnInterfaceThread([&]() -> HICON {
    const auto* module = static_cast<const ResourceModule*>(instance);
    if (module == nullptr) return nullptr;
    const auto found = module->icons.find(id);
    if (found == module->icons.end() || found->second == nullptr) return nullptr;
    auto& icon = icons_[id];
    if (!icon) icon = std::make_unique<GdiObject>(GdiObject{GdiObject::Icon, {}, ToImage(*found->second)});
    return icon.get();
  });
}

HBITMAP QtWindows::LoadBitmap(HINSTANCE instance, UINT id) {
  const auto* module = static_cast<const ResourceModule*>(instance);
  if (module == nullptr) return nullptr;
  const auto found = module->bitmaps.find(id);
  if (found == module->bitmaps.end() || found->second == nullptr) return nullptr;
  return new GdiObject{GdiObject::Bitmap, {}, ToImage(*found->second)};
}

}  // namespace platform::qt::detail
