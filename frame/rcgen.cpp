// rcgen: writes a plug-in's Windows resource script and toolbar bitmap
// from its dialog_resources.cpp (made from its dialog_template.h, the one
// statement of both), with which it is linked.
//
//   NAME_rcgen DIRECTORY   writes DIRECTORY/NAME.rc and DIRECTORY/NAME_toolbar.bmp
//
// The script names every style by its <windows.h> name, so that it reads
// as if written by hand; a style bit without a name stops the program.
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "dialog_resources.h"

namespace {

struct Flag {
  DWORD bits;
  const char* name;
};

// Window styles a control or the dialog may carry besides WS_CHILD and
// WS_VISIBLE, which the resource compiler adds to every control itself.
const Flag windowFlags[] = {
    {WS_POPUP, "WS_POPUP"},   {WS_CAPTION, "WS_CAPTION"}, {WS_SYSMENU, "WS_SYSMENU"},
    {WS_BORDER, "WS_BORDER"}, {WS_VSCROLL, "WS_VSCROLL"}, {WS_HSCROLL, "WS_HSCROLL"},
    {WS_GROUP, "WS_GROUP"},   {WS_TABSTOP, "WS_TABSTOP"}, {WS_DISABLED, "WS_DISABLED"}};

const Flag staticTypes[] = {{SS_LEFT, "SS_LEFT"},
                            {SS_CENTER, "SS_CENTER"},
                            {SS_RIGHT, "SS_RIGHT"},
                            {SS_BLACKFRAME, "SS_BLACKFRAME"},
                            {SS_GRAYFRAME, "SS_GRAYFRAME"},
                            {SS_WHITEFRAME, "SS_WHITEFRAME"},
                            {SS_ETCHEDHORZ, "SS_ETCHEDHORZ"},
                            {SS_ETCHEDVERT, "SS_ETCHEDVERT"},
                            {SS_ETCHEDFRAME, "SS_ETCHEDFRAME"}};
const Flag staticFlags[] = {{SS_NOPREFIX, "SS_NOPREFIX"}, {SS_SUNKEN, "SS_SUNKEN"}};
const Flag buttonTypes[] = {{BS_PUSHBUTTON, "BS_PUSHBUTTON"},
                            {BS_DEFPUSHBUTTON, "BS_DEFPUSHBUTTON"}};
const Flag listFlags[] = {{LBS_NOTIFY, "LBS_NOTIFY"},
                          {LBS_SORT, "LBS_SORT"},
                          {LBS_NOINTEGRALHEIGHT, "LBS_NOINTEGRALHEIGHT"}};
const Flag editFlags[] = {{ES_AUTOHSCROLL, "ES_AUTOHSCROLL"}};
const Flag dialogFlags[] = {{DS_MODALFRAME, "DS_MODALFRAME"}};

class StyleNames {
 public:
  explicit StyleNames(DWORD style) : left_(style) {}

  template <size_t n>
  void type(const Flag (&types)[n], DWORD mask) {
    for (const Flag& f : types) {
      if ((left_ & mask) == f.bits) {
        add(f.name);
        left_ &= ~mask;
        return;
      }
    }
  }
  template <size_t n>
  void flags(const Flag (&flags)[n]) {
    for (const Flag& f : flags) {
      if ((left_ & f.bits) == f.bits && f.bits != 0) {
        add(f.name);
        left_ &= ~f.bits;
      }
    }
  }
  void drop(DWORD bits) { left_ &= ~bits; }
  void add(const std::string& name) { text_ += (text_.empty() ? "" : " | ") + name; }
  DWORD unnamed() const { return left_; }
  const std::string& text() const { return text_; }

 private:
  DWORD left_;
  std::string text_;
};

std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

bool controlStyle(const VtDialogItemTemplate& item, std::string& names) {
  const std::string className = item.className;
  StyleNames s(item.style);
  if (className == "STATIC") {
    s.type(staticTypes, SS_TYPEMASK);
    s.flags(staticFlags);
  } else if (className == "BUTTON") {
    s.type(buttonTypes, BS_TYPEMASK);
  } else if (className == "LISTBOX") {
    s.flags(listFlags);
  } else if (className == "EDIT") {
    s.add("ES_LEFT");
    s.flags(editFlags);
  }
  s.flags(windowFlags);
  const bool visible = (item.style & WS_VISIBLE) != 0;
  s.drop(WS_CHILD | WS_VISIBLE);
  if (!visible) s.add("NOT WS_VISIBLE");
  names = s.text().empty() ? "0" : s.text();
  if (s.unnamed() != 0) {
    std::fprintf(stderr,
                 "rcgen: control %d (%s) of the %s dialog has style bits 0x%lX without a name; "
                 "add them to rcgen.cpp.\n",
                 item.id, item.className, vortigenPluginName,
                 static_cast<unsigned long>(s.unnamed()));
    return false;
  }
  return true;
}

bool writeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  out.close();
  if (!out) {
    std::fprintf(stderr,
                 "rcgen: could not write %s; check that its directory exists and is writable.\n",
                 path.c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIRECTORY\n", argv[0]);
    return 2;
  }
  const std::string directory = argv[1];
  const std::string name = vortigenPluginName;
  const std::string bitmapName = name + "_toolbar.bmp";
  const VtDialogTemplate& dialog = vortigenDialogTemplate;

  // The script's FONT statement stands for DS_SETFONT.
  StyleNames dialogStyle(dialog.style & ~DWORD(DS_SETFONT));
  dialogStyle.flags(dialogFlags);
  dialogStyle.flags(windowFlags);

  std::ostringstream rc;
  rc << "// " << name << ".rc - written by rcgen from " << name
     << "/dialog_template.h; change that file, not this one.\n"
     << "#include <windows.h>\n\n"
     << "TOOLBARICON BITMAP " << quoted(bitmapName) << "\n\n"
     << "500 DIALOG " << dialog.x << ", " << dialog.y << ", " << dialog.width << ", "
     << dialog.height << "\n"
     << "STYLE " << dialogStyle.text() << "\n"
     << "CAPTION " << quoted(dialog.caption) << "\n"
     << "FONT " << dialog.pointSize << ", " << quoted(dialog.fontName) << "\n"
     << "BEGIN\n";
  for (int i = 0; i < dialog.itemCount; ++i) {
    const VtDialogItemTemplate& item = dialog.items[i];
    std::string style;
    if (!controlStyle(item, style)) return 1;
    rc << "    CONTROL " << quoted(item.text) << ", " << item.id << ", " << quoted(item.className)
       << ", " << style << ", " << item.x << ", " << item.y << ", " << item.width << ", "
       << item.height << "\n";
  }
  rc << "END\n";

  const ToolbarBitmap& bitmap = vortigenToolbarBitmap;
  if (!writeFile(directory + "/" + name + ".rc", rc.str())) return 1;
  if (!writeFile(directory + "/" + bitmapName,
                 std::string(reinterpret_cast<const char*>(bitmap.data()), bitmap.size()))) {
    return 1;
  }
  return 0;
}
