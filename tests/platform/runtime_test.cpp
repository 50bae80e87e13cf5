// The dialog runtime on its own: a test procedure runs over the Dynamic
// plug-in's template 500, so that only the runtime's behaviour is seen.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialog_support.h"
#include "vtplatform.h"

namespace {

using vthost::DialogScript;

struct Seen {
  UINT message;
  WPARAM first;
  LPARAM second;
};

// What the test procedure saw, and how it answers.
std::vector<Seen> seen;
bool handleClose = false;  // WM_CLOSE: TRUE without ending
bool endOnCommand = true;  // IDOK / IDCANCEL end the dialog with their id
LPARAM initParameter = 0;

INT_PTR CALLBACK testProcedure(HWND dialog, UINT message, WPARAM first, LPARAM second) {
  seen.push_back(Seen{message, first, second});
  if (message == WM_INITDIALOG) {
    initParameter = second;
    return TRUE;
  }
  if (message == WM_PAINT) {
    PAINTSTRUCT ps;
    BeginPaint(dialog, &ps);
    EndPaint(dialog, &ps);
    return FALSE;
  }
  if (message == WM_CLOSE) return handleClose ? TRUE : FALSE;
  if (message == WM_COMMAND && endOnCommand &&
      (LOWORD(first) == IDOK || LOWORD(first) == IDCANCEL)) {
    EndDialog(dialog, LOWORD(first));
    return TRUE;
  }
  return FALSE;
}

class Runtime : public testing::Test {
 protected:
  void SetUp() override {
    seen.clear();
    handleClose = false;
    endOnCommand = true;
  }
  INT_PTR run(LPARAM parameter = 0) {
    return DialogBoxParamA(plugins::dynamic().module(), MAKEINTRESOURCEA(500), nullptr,
                           testProcedure, parameter);
  }
  static std::vector<Seen> commands() {
    std::vector<Seen> found;
    for (const Seen& s : seen) {
      if (s.message == WM_COMMAND) found.push_back(s);
    }
    return found;
  }
};

TEST_F(Runtime, NoTemplateOrNoProcedureMeansNoDialog) {
  void* program = dlopen(nullptr, RTLD_NOW);
  EXPECT_EQ(DialogBoxParamA(program, MAKEINTRESOURCEA(500), nullptr, testProcedure, 0), -1);
  dlclose(program);
  EXPECT_EQ(DialogBoxParamA(plugins::dynamic().module(), MAKEINTRESOURCEA(501), nullptr,
                            testProcedure, 0),
            -1);
  EXPECT_EQ(
      DialogBoxParamA(plugins::dynamic().module(), MAKEINTRESOURCEA(500), nullptr, nullptr, 0), -1);
  EXPECT_TRUE(seen.empty());
}

// 8-point "MS Sans Serif" has base units 6 x 13: one dialog unit is 1.5
// pixels across and 1.625 down, rounded as MulDiv rounds.
TEST_F(Runtime, LaysOutControlsInDialogUnitsOfTheTemplateFont) {
  DialogScript script;
  RECT ok{}, list{}, client{};
  VtDialogView view{};
  script.then([&](HWND dialog) {
    ok = dialogtest::clientRectOf(dialog, IDOK);
    list = dialogtest::clientRectOf(dialog, 1005);
    GetClientRect(dialog, &client);
    vtDialogView(dialog, &view);
    EndDialog(dialog, 7);
  });
  EXPECT_EQ(run(), 7);
  EXPECT_EQ((std::vector<LONG>{ok.left, ok.top, ok.right, ok.bottom}),
            (std::vector<LONG>{5, 319, 65, 341}));
  EXPECT_EQ((std::vector<LONG>{list.left, list.top, list.right, list.bottom}),
            (std::vector<LONG>{324, 21, 449, 296}));
  EXPECT_EQ(client.right, 453);
  EXPECT_EQ(client.bottom, 348);
  EXPECT_STREQ(view.caption, "Dynamic Vortigen");
  // The client area lies inside the window, below its caption.
  EXPECT_GT(view.client.top, view.window.top);
  EXPECT_EQ(view.client.right - view.client.left, 453);
}

TEST_F(Runtime, InitialisesThenPaintsThenDispatchesInOrderUntilEndDialog) {
  DialogScript script;
  script.then([](HWND dialog) {
    PostMessageA(dialog, WM_COMMAND, 1234, 0);
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    PostMessageA(dialog, WM_COMMAND, 5678, 0);  // after EndDialog: never seen
  });
  EXPECT_EQ(run(0x5EED), IDOK);
  ASSERT_GE(seen.size(), 4u);
  EXPECT_EQ(seen[0].message, WM_INITDIALOG);
  EXPECT_EQ(initParameter, 0x5EED);
  EXPECT_EQ(seen[1].message, WM_PAINT);
  const std::vector<Seen> c = commands();
  ASSERT_EQ(c.size(), 2u);
  EXPECT_EQ(c[0].first, 1234u);
  EXPECT_EQ(c[1].first, static_cast<WPARAM>(IDOK));
}

TEST_F(Runtime, KeysAndCloseBoxBecomeTheirCommands) {
  struct Case {
    const char* name;
    std::function<void(HWND)> input;
    INT_PTR result;
  };
  const Case cases[] = {
      {"Enter without a focused button is IDOK", [](HWND d) { vtDialogPressEnter(d); }, IDOK},
      {"Enter on the focused Cancel button is IDCANCEL",
       [](HWND d) {
         vtDialogFocus(d, IDCANCEL);
         vtDialogPressEnter(d);
       },
       IDCANCEL},
      {"Enter in the list is IDOK",
       [](HWND d) {
         vtDialogFocus(d, 1005);
         vtDialogPressEnter(d);
       },
       IDOK},
      {"Escape is IDCANCEL", [](HWND d) { vtDialogPressEscape(d); }, IDCANCEL},
      {"a click on OK is IDOK", [](HWND d) { vtDialogClick(d, IDOK); }, IDOK},
      {"the close box left alone is IDCANCEL", [](HWND d) { vtDialogCloseBox(d); }, IDCANCEL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    seen.clear();
    DialogScript script;
    script.then(c.input);
    EXPECT_EQ(run(), c.result);
  }
}

TEST_F(Runtime, ScriptRunningOutClosesTheDialogAndNothingWaitsForEver) {
  {
    DialogScript script;  // no steps: closed at once with the close box
    EXPECT_EQ(run(), IDCANCEL);
  }
  // A dialog that ignores its close box and every command is ended by the
  // loop instead of waiting for input that never comes.
  handleClose = true;
  endOnCommand = false;
  DialogScript script;
  script.then([](HWND dialog) { vtDialogClick(dialog, IDOK); });
  EXPECT_EQ(run(), 0);
}

TEST_F(Runtime, FocusMovesWithNotificationsAndListBoxesSort) {
  DialogScript script;
  std::vector<std::string> items;
  LRESULT selectionAfterDelete = 0;
  script.then([&](HWND dialog) {
    for (const char* name : {"beta", "Alpha", "gamma"}) {
      SendDlgItemMessageA(dialog, 1005, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    }
    items = dialogtest::listItems(dialog, 1005);
    SendDlgItemMessageA(dialog, 1005, LB_SETCURSEL, 2, 0);
    SendDlgItemMessageA(dialog, 1005, LB_DELETESTRING, 0, 0);
    selectionAfterDelete = SendDlgItemMessageA(dialog, 1005, LB_GETCURSEL, 0, 0);
    vtDialogFocus(dialog, 1006);
    vtDialogFocus(dialog, 1005);
    vtDialogType(dialog, 1006, "Name");
  });
  run();
  EXPECT_EQ(items, (std::vector<std::string>{"Alpha", "beta", "gamma"}));
  EXPECT_EQ(selectionAfterDelete, 1);
  std::vector<std::pair<int, int>> notifications;
  for (const Seen& s : commands()) notifications.emplace_back(LOWORD(s.first), HIWORD(s.first));
  const std::vector<std::pair<int, int>> expected = {
      {1006, EN_SETFOCUS}, {1006, EN_KILLFOCUS}, {1005, LBN_SETFOCUS}, {1005, LBN_KILLFOCUS},
      {1006, EN_SETFOCUS}, {1006, EN_UPDATE},    {1006, EN_CHANGE},    {IDCANCEL, BN_CLICKED}};
  EXPECT_EQ(notifications, expected);
}

TEST_F(Runtime, DrawingIsRecordedUntilTheBackgroundIsErased) {
  DialogScript script;
  int afterDrawing = 0, afterCoveringFill = 0, afterErase = 0;
  script.then([&](HWND dialog) {
    HDC dc = GetDC(dialog);
    MoveToEx(dc, 10, 10, nullptr);
    LineTo(dc, 20, 30);
    afterDrawing = vtDialogDrawingCount(dialog);
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    const RECT cover{0, 0, 100, 100};
    FillRect(dc, &cover, white);
    afterCoveringFill = vtDialogDrawingCount(dialog);
    ReleaseDC(dialog, dc);
    DeleteObject(white);
    InvalidateRect(dialog, nullptr, TRUE);
  });
  script.then([&](HWND dialog) { afterErase = vtDialogDrawingCount(dialog); });
  run();
  EXPECT_EQ(afterDrawing, 1);
  EXPECT_EQ(afterCoveringFill, 1);  // the line lay wholly beneath the fill
  EXPECT_EQ(afterErase, 0);
}

// The toolbar bitmap the host reads: a 20 x 20, 16-colour Windows bitmap,
// rows from the bottom up, a different picture in each plug-in.
TEST(Resources, EachPluginCarriesItsOwnSixteenColourToolbarBitmap) {
  std::vector<std::vector<unsigned char>> bitmaps;
  for (vthost::PluginLibrary* library : {&plugins::dynamic(), &plugins::fourier()}) {
    const auto* table =
        static_cast<const VtModuleResource*>(dlsym(library->module(), VT_MODULE_RESOURCES_SYMBOL));
    ASSERT_NE(table, nullptr);
    const VtModuleResource* bitmap = nullptr;
    for (; table->type != 0; ++table) {
      if (table->type == VT_RESOURCE_BITMAP && table->name != nullptr &&
          std::string(table->name) == "TOOLBARICON") {
        bitmap = table;
      }
    }
    ASSERT_NE(bitmap, nullptr) << library->path();
    const auto* bytes = static_cast<const unsigned char*>(bitmap->data);
    bitmaps.emplace_back(bytes, bytes + bitmap->size);
  }
  for (const auto& b : bitmaps) {
    ASSERT_EQ(b.size(), 358u);
    auto word32 = [&b](size_t at) {
      return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | b[at + 3] << 24;
    };
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(word32(2), 358);
    EXPECT_EQ(word32(10), 118);  // pixels after the headers and 16 palette entries
    EXPECT_EQ(word32(18), 20);
    EXPECT_EQ(word32(22), 20);  // positive: bottom row first
    EXPECT_EQ(b[28], 4);        // bits per pixel
  }
  EXPECT_NE(bitmaps[0], bitmaps[1]);
  // Row 2 of the Dynamic drawing, "8FFFFFFF9999999999F8", is stored 17 rows
  // up from the bottom, 12 bytes a row, left pixel in the high half.
  const std::vector<unsigned char> row(bitmaps[0].begin() + 118 + 12 * 17,
                                       bitmaps[0].begin() + 118 + 12 * 17 + 10);
  EXPECT_EQ(row, (std::vector<unsigned char>{0x8F, 0xFF, 0xFF, 0xFF, 0x99, 0x99, 0x99, 0x99, 0x99,
                                             0xF8}));
}

}  // namespace
