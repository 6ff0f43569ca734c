// Modal dialogs on Win32: DialogBoxIndirectParamW on a dialog template
// built in memory from the program's own (res/dialogs.cpp), so the
// resources have one source for both builds.
//
// The template keeps the device's dialog units and font; once the dialog
// exists its controls are placed in pixels as platform/window_layout.h
// converts them, as the Qt build places them, rather than by the base units
// of whichever font the system substitutes for "MS Shell Dlg". The dialog
// covers the device screen: its owner's inside.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "platform/dialog.h"
#include "platform/screen.h"
#include "platform/ui_win32/back_end.h"
#include "platform/window_layout.h"

namespace platform {
namespace win32 {
namespace {

constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kStaticAtom = 0x0082;
constexpr wchar_t kProgressBarClass[] = L"msctls_progress32";

// What a running dialog's procedure wrapper needs.
struct DialogRun {
  WindowProcedure procedure;
  const DialogTemplate* dialogTemplate;
  HWND owner;
};

// A DLGTEMPLATE and its DLGITEMTEMPLATEs, written into a fixed buffer of
// 16-bit words (the format's unit; items start on 32-bit boundaries).
class TemplateWriter {
 public:
  void Word(WORD value) {
    if (count_ < kCapacity) words_[count_] = value;
    ++count_;
  }
  void Dword(DWORD value) {
    Word(LOWORD(value));
    Word(HIWORD(value));
  }
  void Text(const char16_t* text) {
    for (; text != nullptr && *text != u'\0'; ++text) Word(*text);
    Word(0);
  }
  void Text(const wchar_t* text) { Text(reinterpret_cast<const char16_t*>(text)); }
  void Ordinal(WORD value) {
    Word(0xFFFF);
    Word(value);
  }
  void AlignToDword() {
    if (count_ % 2 != 0) Word(0);
  }
  bool Fits() const { return count_ <= kCapacity; }
  const DLGTEMPLATE* Template() const { return reinterpret_cast<const DLGTEMPLATE*>(words_); }

 private:
  static constexpr std::size_t kCapacity = 2048;
  alignas(DWORD) WORD words_[kCapacity] = {};
  std::size_t count_ = 0;
};

DWORD DialogStyle(const DialogTemplate& dialogTemplate) {
  DWORD style = WS_POPUP | DS_SETFONT;
  if ((dialogTemplate.style & kStyleCaption) != 0) style |= DS_MODALFRAME | WS_CAPTION | WS_SYSMENU;
  if ((dialogTemplate.style & kStyleBorder) != 0) style |= WS_BORDER;
  return style;
}

// A desktop's title bar has no OK button: a template that asks for one in
// its caption gets a default button in the top right corner instead, which
// sends the same command 1.
bool HasOkButton(const DialogTemplate& dialogTemplate) {
  return (dialogTemplate.style & kStyleCaption) != 0 &&
         (dialogTemplate.style & kStyleOkInCaption) != 0;
}

void WriteItem(TemplateWriter& out, const DialogItem& item) {
  DWORD style = WS_CHILD | WS_VISIBLE;
  if ((item.style & kStyleBorder) != 0) style |= WS_BORDER;
  switch (item.controlClass) {
    case ControlClass::kStatic:
      style |= SS_NOPREFIX | (IsOneLineText(item) ? SS_LEFTNOWORDWRAP : SS_LEFT | SS_EDITCONTROL);
      break;
    case ControlClass::kStaticIcon:
      style |= SS_ICON | SS_REALSIZECONTROL | SS_CENTERIMAGE;
      break;
    case ControlClass::kProgressBar:
      break;
  }
  out.AlignToDword();
  out.Dword(style);
  out.Dword(0);
  out.Word(static_cast<WORD>(item.x));
  out.Word(static_cast<WORD>(item.y));
  out.Word(static_cast<WORD>(item.width));
  out.Word(static_cast<WORD>(item.height));
  out.Word(static_cast<WORD>(item.id));
  switch (item.controlClass) {
    case ControlClass::kStatic:
      out.Ordinal(kStaticAtom);
      out.Text(item.text);
      break;
    case ControlClass::kStaticIcon:
      out.Ordinal(kStaticAtom);
      out.Ordinal(static_cast<WORD>(item.iconId));
      break;
    case ControlClass::kProgressBar:
      out.Text(kProgressBarClass);
      out.Text(u"");
      break;
  }
  out.Word(0);  // no creation data
}

void WriteTemplate(TemplateWriter& out, const DialogTemplate& dialogTemplate) {
  bool okButton = HasOkButton(dialogTemplate);
  out.Dword(DialogStyle(dialogTemplate));
  out.Dword(0);
  out.Word(static_cast<WORD>(dialogTemplate.count + (okButton ? 1 : 0)));
  out.Word(0);
  out.Word(0);
  out.Word(static_cast<WORD>(dialogTemplate.width));
  out.Word(static_cast<WORD>(dialogTemplate.height));
  out.Word(0);  // no menu
  out.Word(0);  // the dialog class
  out.Text(dialogTemplate.caption);
  out.Word(static_cast<WORD>(dialogTemplate.pointSize));
  out.Text(dialogTemplate.fontName);
  for (std::size_t i = 0; i < dialogTemplate.count; ++i) WriteItem(out, dialogTemplate.items[i]);
  if (okButton) {
    out.AlignToDword();
    out.Dword(WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON);
    out.Dword(0);
    for (int i = 0; i < 4; ++i) out.Word(0);  // placed with the rest
    out.Word(IDOK);
    out.Ordinal(kButtonAtom);
    out.Text(u"OK");
    out.Word(0);
  }
}

void SetFont(HWND control, HFONT font) {
  ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

// How wide a control's text is in the dialog font `pixels` high.
int TextWidth(HWND control, int pixels) {
  wchar_t text[256];
  int length = ::GetWindowTextW(control, text, 256);
  HDC context = ::GetDC(control);
  HGDIOBJ previous = ::SelectObject(context, TextFont(pixels));
  SIZE size = {};
  ::GetTextExtentPoint32W(context, text, length, &size);
  ::SelectObject(context, previous);
  ::ReleaseDC(control, context);
  return size.cx;
}

void Place(HWND control, const Rect& rect) {
  ::MoveWindow(control, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, FALSE);
}

// Sizes the dialog to the device screen and places its controls in pixels.
void LayOut(HWND dialog, const DialogRun& run) {
  int scale = screenMetrics.scale;
  RECT area = {0, 0, screenMetrics.width, screenMetrics.height};
  if (run.owner != nullptr) {
    ::GetClientRect(run.owner, &area);
    ::MapWindowPoints(run.owner, nullptr, reinterpret_cast<POINT*>(&area), 2);
  } else {
    ::OffsetRect(&area, (::GetSystemMetrics(SM_CXSCREEN) - screenMetrics.width) / 2,
                 (::GetSystemMetrics(SM_CYSCREEN) - screenMetrics.height) / 2);
  }
  ::MoveWindow(dialog, area.left, area.top, area.right - area.left, area.bottom - area.top, FALSE);
  RECT inside;
  ::GetClientRect(dialog, &inside);

  const DialogTemplate& dialogTemplate = *run.dialogTemplate;
  HFONT font = TextFont(dialogTemplate.pointSize * scale);
  // The controls exist in the template's order.
  HWND control = ::GetWindow(dialog, GW_CHILD);
  for (std::size_t i = 0; i < dialogTemplate.count && control != nullptr; ++i) {
    const DialogItem& item = dialogTemplate.items[i];
    Rect rect = DialogUnitsToPixels(item, scale);
    HFONT itemFont = font;
    if (IsOneLineText(item)) {
      rect = OneLineTextRoom(rect, inside.right);
      itemFont = TextFont(FittingTextPixels(dialogTemplate.pointSize * scale,
                                            rect.right - rect.left,
                                            [&](int pixels) { return TextWidth(control, pixels); }));
    }
    Place(control, rect);
    SetFont(control, itemFont);
    if (item.controlClass == ControlClass::kStaticIcon) {
      int side = std::min(rect.right - rect.left, rect.bottom - rect.top);
      HANDLE icon = ::LoadImageW(ProgramModule(), MAKEINTRESOURCEW(item.iconId), IMAGE_ICON,
                                 side, side, LR_DEFAULTCOLOR);
      if (icon != nullptr) ::SendMessageW(control, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
    }
    control = ::GetWindow(control, GW_HWNDNEXT);
  }
  if (HWND ok = ::GetDlgItem(dialog, IDOK); ok != nullptr && HasOkButton(dialogTemplate)) {
    int width = 48 * scale;
    int height = (kBarHeight - 4) * scale;
    Place(ok, {inside.right - 2 * scale - width, 2 * scale, inside.right - 2 * scale,
               2 * scale + height});
    SetFont(ok, TextFont(kWindowTextPixels * scale));
  }
}

// The icons LayOut loaded are the dialog's own: they go with it.
void DestroyIcons(HWND dialog, const DialogTemplate& dialogTemplate) {
  HWND control = ::GetWindow(dialog, GW_CHILD);
  for (std::size_t i = 0; i < dialogTemplate.count && control != nullptr; ++i) {
    if (dialogTemplate.items[i].controlClass == ControlClass::kStaticIcon) {
      auto icon = reinterpret_cast<HICON>(::SendMessageW(control, STM_GETICON, 0, 0));
      if (icon != nullptr) ::DestroyIcon(icon);
    }
    control = ::GetWindow(control, GW_HWNDNEXT);
  }
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    LayOut(dialog, *reinterpret_cast<const DialogRun*>(lParam));
  }
  auto* run = reinterpret_cast<const DialogRun*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  if (run == nullptr) return FALSE;
  if (message == WM_DESTROY) DestroyIcons(dialog, *run->dialogTemplate);
  if (message == WM_CTLCOLORDLG || message == WM_CTLCOLORSTATIC) {
    return reinterpret_cast<INT_PTR>(WhiteBackground(reinterpret_cast<HDC>(wParam)));
  }
  bool handled = CallProcedure(run->procedure, dialog, message, wParam);
  // TRUE from WM_INITDIALOG: the system focuses the first control that takes it.
  return message == WM_INITDIALOG ? TRUE : handled;
}

}  // namespace
}  // namespace win32

int RunModalDialog(const DialogTemplate& dialogTemplate, Window owner, WindowProcedure procedure) {
  win32::TemplateWriter writer;
  win32::WriteTemplate(writer, dialogTemplate);
  if (!writer.Fits()) return -1;
  win32::DialogRun run = {procedure, &dialogTemplate, win32::HwndOf(owner)};
  INT_PTR result = ::DialogBoxIndirectParamW(win32::ProgramModule(), writer.Template(),
                                             run.owner, win32::DialogProc,
                                             reinterpret_cast<LPARAM>(&run));
  return static_cast<int>(result);
}

void EndModalDialog(Window dialog, int result) { ::EndDialog(win32::HwndOf(dialog), result); }

}  // namespace platform
