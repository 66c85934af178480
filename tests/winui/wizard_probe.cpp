// wizard_probe.exe: reads the state of another program's windows for the wizard's tests, the
// way the system shows it: which window is open, its client size and where its client area is
// on the screen, each control's text, check state, position, visibility, enabled state and
// place, and which control has the keyboard focus. Prints one fact per line (UTF-8), so a test script can grep it.
//
//   wizard_probe window CAPTION      the visible top-level window with that caption
//   wizard_probe units FACE POINTS   the dialog base units of that font at this DPI, found as
//                                    the dialog manager finds them
//   wizard_probe resources EXE       the wizard's resources: pages, icon, picture, sound, manifest
//
// Exit status: 0, 2 when the window is not there, 1 on anything else that is wrong.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

// Line breaks as \r and \n, so that every fact stays on its line.
std::string OneLine(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

void Print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

// A message to a window of another process, given up on when that process does not answer.
LRESULT Ask(HWND window, UINT message, WPARAM wparam = 0, LPARAM lparam = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wparam, lparam, SMTO_ABORTIFHUNG, 2000, &result);
  return static_cast<LRESULT>(result);
}

std::wstring TextOf(HWND window) {
  const auto length = static_cast<std::size_t>(Ask(window, WM_GETTEXTLENGTH));
  std::wstring text(length + 1, L'\0');
  const auto copied = static_cast<std::size_t>(
      Ask(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
  text.resize(copied < length ? copied : length);
  return text;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

struct Search {
  std::wstring caption;
  HWND found = nullptr;
};

BOOL CALLBACK MatchCaption(HWND window, LPARAM lparam) {
  auto* search = reinterpret_cast<Search*>(lparam);
  if (!IsWindowVisible(window)) return TRUE;
  wchar_t caption[256] = {};
  GetWindowTextW(window, caption, 256);
  if (search->caption != caption) return TRUE;
  search->found = window;
  return FALSE;
}

BOOL CALLBACK CollectChild(HWND child, LPARAM lparam) {
  reinterpret_cast<std::vector<HWND>*>(lparam)->push_back(child);
  return TRUE;
}

// Every control of the window, also those of a page inside it (an installer's page is a dialog
// within its frame), each before the controls it holds.
std::vector<HWND> ChildrenOf(HWND window) {
  std::vector<HWND> children;
  EnumChildWindows(window, &CollectChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

RECT RectInParent(HWND control, HWND parent) {
  RECT rect{};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::string ControlLine(HWND control, HWND parent) {
  const std::wstring class_name = ClassOf(control);
  const RECT rect = RectInParent(control, parent);
  char line[256];
  std::snprintf(line, sizeof line, "control %d %s visible=%d enabled=%d rect=%ld,%ld,%ld,%ld",
                GetDlgCtrlID(control), Utf8(class_name).c_str(), IsWindowVisible(control) ? 1 : 0,
                IsWindowEnabled(control) ? 1 : 0, rect.left, rect.top, rect.right - rect.left,
                rect.bottom - rect.top);
  std::string out = line;
  if (lstrcmpiW(class_name.c_str(), L"Button") == 0) {
    out += " check=" + std::to_string(Ask(control, BM_GETCHECK));
  }
  if (lstrcmpiW(class_name.c_str(), PROGRESS_CLASSW) == 0) {
    out += " pos=" + std::to_string(Ask(control, PBM_GETPOS));
  }
  const std::wstring text = TextOf(control);
  // A picture's text is its bitmap's resource number, not words.
  if (!text.empty() && text[0] == 0xFFFF) return out + " text=(picture)";
  return out + " text=" + OneLine(Utf8(text));
}

// The control with the keyboard focus in the window's thread: its id, "window" for the window
// itself, "none" when the focus is elsewhere.
std::string FocusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ||
      info.hwndFocus == nullptr) {
    return "none";
  }
  if (info.hwndFocus == window) return "window";
  if (!IsChild(window, info.hwndFocus)) return "none";
  return std::to_string(GetDlgCtrlID(info.hwndFocus));
}

int ProbeWindow(const std::wstring& caption) {
  Search search{caption};
  EnumWindows(&MatchCaption, reinterpret_cast<LPARAM>(&search));
  if (search.found == nullptr) {
    Print("window=none");
    return 2;
  }
  const HWND window = search.found;
  RECT client{};
  GetClientRect(window, &client);
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
  Print("caption=" + Utf8(caption));
  Print("class=" + Utf8(ClassOf(window)));
  Print("client=" + std::to_string(client.right) + "x" + std::to_string(client.bottom));
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  Print("origin=" + std::to_string(origin.x) + "," + std::to_string(origin.y));
  Print("active=" + std::to_string(info.hwndActive == window ? 1 : 0));
  Print("focus=" + FocusOf(window));
  for (const HWND control : ChildrenOf(window)) Print(ControlLine(control, window));
  return 0;
}

int ProbeUnits(const std::wstring& face, int points) {
  const HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  const HFONT font = CreateFontW(-MulDiv(points, dpi, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                 DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                 PROOF_QUALITY, FF_DONTCARE, face.c_str());
  const HGDIOBJ old_font = SelectObject(screen, font);
  wchar_t chosen[LF_FACESIZE] = {};
  GetTextFaceW(screen, LF_FACESIZE, chosen);
  TEXTMETRICW metrics{};
  GetTextMetricsW(screen, &metrics);
  static const wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  SIZE letters{};
  GetTextExtentPoint32W(screen, kLetters, 52, &letters);
  SelectObject(screen, old_font);
  DeleteObject(font);
  ReleaseDC(nullptr, screen);
  Print("dpi=" + std::to_string(dpi));
  Print("face=" + Utf8(chosen));
  // Average width of the 52 letters, rounded, and the character height.
  Print("base_x=" + std::to_string((letters.cx / 26 + 1) / 2));
  Print("base_y=" + std::to_string(metrics.tmHeight));
  return 0;
}

// One resource: its size, and its first bytes for the checks below.
struct Resource {
  const BYTE* bytes = nullptr;
  DWORD size = 0;
};

Resource Find(HMODULE module, int id, LPCWSTR type) {
  const HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (found == nullptr) return {};
  const HGLOBAL loaded = LoadResource(module, found);
  return {static_cast<const BYTE*>(LockResource(loaded)), SizeofResource(module, found)};
}

// Steps over a menu or class field of a dialog template: none, an ordinal, or a string.
const WORD* SkipNameOrOrdinal(const WORD* at) {
  if (*at == 0x0000) return at + 1;
  if (*at == 0xFFFF) return at + 2;
  while (*at != 0) ++at;
  return at + 1;
}

// "267x191 font=NAME POINTS" from an extended dialog template.
std::string TemplateFacts(const Resource& dialog) {
  const auto* words = reinterpret_cast<const WORD*>(dialog.bytes);
  if (dialog.size < 26 || words[0] != 1 || words[1] != 0xFFFF) return "not an extended template";
  DWORD style = 0;
  std::memcpy(&style, dialog.bytes + 12, sizeof style);
  const auto* numbers = reinterpret_cast<const short*>(dialog.bytes + 18);
  std::string facts = std::to_string(numbers[2]) + "x" + std::to_string(numbers[3]);
  const WORD* at = SkipNameOrOrdinal(SkipNameOrOrdinal(words + 13));
  const std::wstring title(reinterpret_cast<const wchar_t*>(at));
  at += title.size() + 1;
  if ((style & DS_SETFONT) != 0) {
    const WORD points = at[0];
    const std::wstring face(reinterpret_cast<const wchar_t*>(at + 3));
    facts += " font=" + Utf8(face) + " " + std::to_string(points);
  }
  return facts + " caption=" + Utf8(title);
}

bool Check(bool good, const std::string& what) {
  Print((good ? "ok " : "missing ") + what);
  return good;
}

int ProbeResources(const std::wstring& program) {
  const HMODULE module = LoadLibraryExW(
      program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) {
    Print("cannot open " + Utf8(program));
    return 1;
  }
  bool good = true;
  for (const int page : {100, 103, 104, 105}) {
    const Resource dialog = Find(module, page, RT_DIALOG);
    good &= Check(dialog.bytes != nullptr, "dialog " + std::to_string(page) + " " +
                                               (dialog.bytes ? TemplateFacts(dialog) : ""));
  }
  good &= Check(Find(module, 128, RT_GROUP_ICON).bytes != nullptr, "icon 128");
  const Resource picture = Find(module, 130, RT_BITMAP);
  const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(picture.bytes);
  good &= Check(header != nullptr && picture.size >= sizeof(BITMAPINFOHEADER) &&
                    header->biWidth == 136 && header->biHeight == 250 && header->biBitCount == 24,
                "bitmap 130 of 136 x 250 pixels at 24 bits");
  const Resource sound = Find(module, 130, L"WAVE");
  good &= Check(sound.size > 44 && std::string(reinterpret_cast<const char*>(sound.bytes), 4) ==
                                       "RIFF" &&
                    std::string(reinterpret_cast<const char*>(sound.bytes) + 8, 4) == "WAVE",
                "wave 130");
  const Resource manifest = Find(module, 1, RT_MANIFEST);
  const std::string text(reinterpret_cast<const char*>(manifest.bytes), manifest.size);
  good &= Check(text.find("Microsoft.Windows.Common-Controls") != std::string::npos &&
                    text.find("version=\"6.0.0.0\"") != std::string::npos,
                "manifest: common controls 6");
  good &= Check(text.find("PerMonitorV2") != std::string::npos, "manifest: per-monitor DPI aware");
  FreeLibrary(module);
  return good ? 0 : 1;
}

int Usage() {
  Print("usage: wizard_probe window CAPTION | units FACE POINTS | resources EXE");
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && std::wstring(argv[1]) == L"window") return ProbeWindow(argv[2]);
  if (argc == 4 && std::wstring(argv[1]) == L"units") return ProbeUnits(argv[2], _wtoi(argv[3]));
  if (argc == 3 && std::wstring(argv[1]) == L"resources") return ProbeResources(argv[2]);
  return Usage();
}
