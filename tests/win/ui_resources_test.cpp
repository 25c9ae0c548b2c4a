// The dialog templates and strings of both languages against the tables of
// the windows they make.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "resource.h"
#include "ui_test_support.h"

namespace norvane::test {
namespace {

struct Item {
  int id;
  const wchar_t* windowClass;
  short x, y, cx, cy;
  DWORD style;  // every bit here must be set, WS_CHILD and WS_VISIBLE included where they belong
  const wchar_t* text;
};

struct Expected {
  UINT id;
  LANGID language;
  DWORD style;
  DWORD exStyle;
  short x, y, cx, cy;
  const wchar_t* caption;
  WORD pointSize;
  const wchar_t* font;
  std::vector<Item> items;
};

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kMainStyle = DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kPageStyle = WS_CHILD | WS_SYSMENU | DS_SETFONT | DS_FIXEDSYS;  // 0x40080048
constexpr DWORD kTabOwnerDrawn = TCS_OWNERDRAWFIXED | TCS_MULTILINE | TCS_FOCUSONBUTTONDOWN;
constexpr DWORD kStatic = kChild | WS_GROUP;
constexpr DWORD kPush = kChild | BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kCheck = kChild | BS_AUTOCHECKBOX | WS_TABSTOP;
constexpr DWORD kRadio = kChild | BS_AUTORADIOBUTTON;
constexpr DWORD kGroup = kChild | BS_GROUPBOX;
constexpr DWORD kReadOnly = kChild | ES_RIGHT | ES_AUTOHSCROLL | ES_READONLY | WS_TABSTOP;

std::vector<Item> MainItems(short tabX, short tabHeight, DWORD tabStyle) {
  return {
      {IDC_DRIVE_LIST, L"ComboBox", 7, 7, 192, 43, kChild | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, L""},
      // A tab stop, so that the keyboard reaches the pages' tabs.
      {IDC_PAGE_TABS, L"SysTabControl32", tabX, 33, 192, tabHeight, kChild | tabStyle | WS_TABSTOP, L""},
      {IDC_MESSAGE, L"Static", 27, 81, 150, 45, kChild | SS_LEFT, L""},
  };
}

std::vector<Item> AboutItems(short firstLineWidth) {
  return {
      {-1, L"Static", 14, 14, 20, 20, kChild | SS_ICON, L"#128"},
      {-1, L"Static", 42, 14, firstLineWidth, 8, kChild | SS_NOPREFIX, L"Norvane BD Drive Utility, Version 1, 0, 0, 6"},
      {-1, L"Static", 42, 26, 165, 8, kChild, nullptr},
      {IDOK, L"Button", 159, 42, 50, 14, kChild | BS_DEFPUSHBUTTON, L"OK"},
  };
}

std::vector<Item> StatusItems(bool japanese) {
  return {
      {-1, L"Button", 7, 7, 200, 90, kGroup, L"VeriTrack"},
      {1079, L"Static", 15, 23, 87, 16, kStatic | SS_LEFT, L""},
      {1069, L"Static", 15, 40, 105, 8, kStatic | SS_LEFT, L""},
      japanese ? Item{1063, L"Static", 18, 69, 61, 8, kStatic | SS_RIGHT, L""}
               : Item{1063, L"Static", 15, 75, 61, 8, kStatic | SS_RIGHT, L""},
      // Two lines: the English label wraps once.
      {1070, L"Static", 15, 55, 105, 16, kStatic | SS_LEFT, L""},
      japanese ? Item{1064, L"Static", 15, 81, 49, 8, kStatic | SS_RIGHT, L""}
               : Item{1064, L"Static", 18, 84, 49, 8, kStatic | SS_RIGHT, L""},
      {1022, L"CErrorIndicator", 108, 21, 91, 11, kChild | WS_TABSTOP, L""},
      {1065, L"Static", 141, 32, 57, 8, kStatic | SS_RIGHT, L""},
      {1068, L"Button", 6, 102, 201, 54, (japanese ? WS_CHILD : kChild) | BS_GROUPBOX, L""},
      {1071, L"Static", 15, 114, 105, 8, kStatic | SS_LEFT, L""},
      {1072, L"Static", 15, 123, 108, 8, kStatic | SS_LEFT, L""},
      {1073, L"Static", 15, 132, 108, 8, kStatic | SS_LEFT, L""},
      {1074, L"Static", 15, 141, 108, 8, kStatic | SS_LEFT, L""},
      {1075, L"Static", 147, 114, 54, 8, kStatic | SS_RIGHT, L""},
      {1078, L"Static", 147, 123, 54, 8, kStatic | SS_RIGHT, L""},
      {1076, L"Static", 147, 132, 54, 8, kStatic | SS_RIGHT, L""},
      {1077, L"Static", 147, 141, 54, 8, kStatic | SS_RIGHT, L""},
      {1046, L"Edit", 135, 42, 65, 14, kReadOnly, L""},
      {1080, L"Edit", 138, 54, 63, 14, kReadOnly, L""},
      // Last: the controls that take the focus come in reading order, the order Tab walks.
      {1013, L"Button", 149, 76, 50, 14, kPush, L"Clear"},
  };
}

const std::vector<Expected>& Templates() {
  static const std::vector<Expected> templates = {
      {IDD_NORVANEDRIVEUTILITY_DIALOG, kEnglish, kMainStyle, WS_EX_APPWINDOW, 0, 0, 207, 243,
       L"Norvane BD Drive Utility", 9, L"MS UI Gothic", MainItems(7, 201, 0)},
      {IDD_NORVANEDRIVEUTILITY_DIALOG, kJapanese, kMainStyle, WS_EX_APPWINDOW, 0, 0, 207, 237,
       L"Norvane BD Drive Utility", 9, L"MS UI Gothic", MainItems(9, 195, kTabOwnerDrawn)},
      {IDD_ABOUTBOX, kEnglish, kMainStyle, 0, 0, 0, 222, 63, L"Version Information Norvane BD Drive Utility", 9,
       // The version line is as wide as the line below it: the fonts that
       // stand in for the template's cut it short at the narrower widths.
       L"MS UI Gothic", AboutItems(165)},
      {IDD_ABOUTBOX, kJapanese, kMainStyle, 0, 0, 0, 222, 63, L"バージョン情報 Norvane BD Drive Utility", 9,
       L"MS UI Gothic", AboutItems(165)},
      {IDD_SETTING,
       kEnglish,
       kPageStyle,
       0,
       0,
       0,
       212,
       170,
       L"",
       8,
       L"MS Shell Dlg",
       {
           {1037, L"Button", 12, 6, 183, 60, kGroup, L""},
           {1012, L"Button", 27, 14, 26, 10, kCheck, L"ON"},
           {1003, L"Button", 42, 28, 126, 10, kRadio | WS_GROUP | WS_TABSTOP, L""},
           {1004, L"Button", 42, 38, 126, 10, kRadio, L""},
           {1005, L"Button", 42, 49, 126, 10, kRadio, L""},
           {1044, L"Button", 12, 69, 183, 60, kGroup, L"VeriTrack2+"},
           {1007, L"Button", 27, 81, 26, 10, kCheck, L"ON"},
           {1008, L"Button", 37, 93, 128, 10, kRadio | WS_GROUP | WS_TABSTOP, L""},
           {1009, L"Button", 37, 102, 128, 10, kRadio, L""},
           {1010, L"Button", 37, 114, 82, 10, kCheck, L"Real Time Veri Track"},
           {1006, L"Button", 27, 132, 138, 10, kCheck, L""},
           {1081, L"Button", 18, 156, 180, 10, kCheck, L""},
           {-1, L"Button", 3, 0, 201, 150, kGroup, L""},
       }},
      {IDD_SETTING,
       kJapanese,
       kPageStyle,
       0,
       0,
       0,
       212,
       167,
       L"",
       8,
       L"MS Shell Dlg",
       {
           {1037, L"Button", 15, 6, 180, 60, kGroup, L""},
           {1012, L"Button", 27, 14, 26, 10, kCheck, L"ON"},
           {1003, L"Button", 42, 28, 126, 10, kRadio | WS_GROUP | WS_TABSTOP, L""},
           {1004, L"Button", 42, 38, 126, 10, kRadio, L""},
           {1005, L"Button", 42, 49, 126, 10, kRadio, L""},
           {1044, L"Button", 12, 69, 183, 57, kGroup, L"VeriTrack2+"},
           {1007, L"Button", 27, 81, 26, 10, kCheck, L"ON"},
           {1008, L"Button", 42, 90, 128, 10, kRadio | WS_GROUP | WS_TABSTOP, L""},
           {1009, L"Button", 42, 99, 128, 10, kRadio, L""},
           {1010, L"Button", 42, 111, 82, 10, kCheck, L"Real Time Veri Track"},
           {1006, L"Button", 27, 129, 138, 10, kCheck, L""},
           {-1, L"Button", 3, 0, 201, 147, kGroup, L""},
           {1081, L"Button", 18, 153, 180, 10, kCheck, L""},
       }},
      {IDD_STATUS, kEnglish, kPageStyle, WS_EX_TRANSPARENT, 12, 40, 214, 164, L"", 8, L"MS Shell Dlg",
       StatusItems(false)},
      {IDD_STATUS, kJapanese, kPageStyle, WS_EX_TRANSPARENT, 12, 40, 214, 164, L"", 8, L"MS Shell Dlg",
       StatusItems(true)},
      {IDD_UTILITY,
       kEnglish,
       kPageStyle,
       0,
       12,
       40,
       214,
       167,
       L"",
       8,
       L"MS Shell Dlg",
       {
           {1038, L"Button", 7, 7, 200, 38, kGroup, L""},
           // The buttons in reading order, the order Tab walks.
           {1026, L"Button", 16, 21, 59, 14, kPush, L""},
           {1013, L"Button", 12, 60, 69, 14, kPush, L""},
           {1039, L"Button", 7, 48, 200, 36, kGroup, L""},
           {1027, L"Static", 81, 24, 123, 8, kStatic | SS_RIGHT, L""},
           {1041, L"Static", 135, 33, 57, 9, kStatic | SS_LEFT, L""},
           {1015, L"Button", 84, 60, 120, 14, kPush, L""},
           {1043, L"Button", 75, 143, 129, 14, kPush, L""},
       }},
      {IDD_UTILITY,
       kJapanese,
       kPageStyle,
       0,
       12,
       40,
       214,
       164,
       L"",
       8,
       L"MS Shell Dlg",
       {
           {1027, L"Static", 93, 24, 111, 8, kStatic | SS_LEFT, L""},
           {1041, L"Static", 135, 33, 57, 9, kStatic | SS_LEFT, L""},
           {1038, L"Button", 7, 7, 200, 38, kGroup, L""},
           {1039, L"Button", 7, 48, 200, 36, kGroup, L""},
           {1026, L"Button", 16, 21, 74, 14, kPush, L""},
           {1013, L"Button", 15, 60, 69, 14, kPush, L""},
           {1015, L"Button", 93, 60, 108, 14, kPush, L""},
           {1043, L"Button", 108, 147, 99, 14, kPush, L""},
       }},
  };
  return templates;
}

std::wstring Upper(std::wstring text) {
  CharUpperW(text.data());
  return text;
}

// The low bits of a button's or a static's style are a kind, not flags.
DWORD KindMask(const std::wstring& windowClass) {
  if (windowClass == L"Button") return BS_TYPEMASK;
  if (windowClass == L"Static") return SS_TYPEMASK;
  return 0;
}

// A failed assertion ends the check of this template only.
void ExpectFollowsItsTable(const Expected& expected) {
  const DialogTemplate actual = LoadDialogTemplate(expected.id, expected.language);
  EXPECT_EQ(actual.style & ~WS_VISIBLE, expected.style);
  EXPECT_EQ(actual.exStyle, expected.exStyle);
  EXPECT_EQ((std::vector<short>{actual.x, actual.y, actual.cx, actual.cy}),
            (std::vector<short>{expected.x, expected.y, expected.cx, expected.cy}));
  EXPECT_EQ(actual.caption, expected.caption);
  EXPECT_EQ(actual.pointSize, expected.pointSize);
  EXPECT_EQ(actual.font, expected.font);
  ASSERT_EQ(actual.items.size(), expected.items.size());
  for (std::size_t i = 0; i < actual.items.size(); ++i) {
    const DialogItem& got = actual.items[i];
    const Item& want = expected.items[i];
    SCOPED_TRACE("item " + std::to_string(i) + ", id " + std::to_string(want.id));
    EXPECT_EQ(got.id == 0xFFFF ? -1 : got.id, want.id);
    EXPECT_EQ(Upper(got.windowClass), Upper(want.windowClass)) << "class names are not case-sensitive";
    EXPECT_EQ((std::vector<short>{got.x, got.y, got.cx, got.cy}),
              (std::vector<short>{want.x, want.y, want.cx, want.cy}));
    const DWORD kind = KindMask(want.windowClass);
    EXPECT_EQ(got.style & kind, want.style & kind);
    EXPECT_EQ(got.style & ~kind & want.style, want.style & ~kind);
    EXPECT_EQ(got.style & WS_VISIBLE, want.style & WS_VISIBLE);
    if (want.text) {
      EXPECT_EQ(got.text, want.text);
    }
  }
}

TEST(Resources, DialogTemplatesOfBothLanguagesFollowTheirTables) {
  for (const Expected& expected : Templates()) {
    SCOPED_TRACE("dialog " + std::to_string(expected.id) + ", language " + std::to_string(expected.language));
    ExpectFollowsItsTable(expected);
  }
}

TEST(Resources, StringsOfBothLanguages) {
  const struct {
    UINT id;
    const wchar_t* english;
    const wchar_t* japanese;
  } kStrings[] = {
      {IDS_ABOUTBOX, L"Version Information NorvaneDriveUtility(&A)...", L"バージョン情報 NorvaneDriveUtility(&A)..."},
      {IDS_DRIVE_NOT_CONNECTED, L"The drive is not connected.",
       L"ドライブが接続されていません。\r\nドライブを接続後、ユーティリティを立ち上げてください。"},
      {IDS_QUIET_PERFORMANCE, L"Performance Mode", L"パフォーマンスモード"},
      {IDS_EJECT_AT_POWER_ON, L"Eject Disc at Power-on", L"パワーオン時にディスクをイジェクトする"},
      {IDS_TIP_QUIET_ON, L"Switches the \"Advanced Quiet Drive Feature \" On/Off.",
       L"アドバンスド静音機能のOn/Offを切り替えます。"},
      {IDS_TIP_READ_ON, L"Switches the \"VeriTrack\" On/Off.", L"ベリトラック機能のOn/Offを切り替えます。"},
      {IDS_TIP_READ_MASTER, L"At the read error after several retrys,  the interpolate data is returned.",
       L"リードエラーが発生した場合、一定回数再読み取りを行います。それでも読み取り出来なかった場合はデータの補間をして"
       L"読み取り動作を継続します。"},
      {IDS_TIP_REAL_TIME, L"This feature optimally control not to interrupt the sound while streaming.",
       L"ストリーミング再生時に音途切れが発生しないように最適な制御を行ないます。\r\n※本機能を利用するにはアドバンスド"
       L"静音機能を有効にする必要があります。"},
      {IDS_CONFIRM_QUIET_ON, L"Enable the Advanced Quiet Drive Feature. OK?",
       L"アドバンスド静音機能を有効にします。よろしいですか？"},
      {IDS_CONFIRM_REAL_TIME_OFF, L"Disable the Real Time Veri Track. OK?",
       L"Real Time Veri Trackの機能が無効になります。よろしいですか？"},
  };
  for (const auto& string : kStrings) {
    SCOPED_TRACE("string " + std::to_string(string.id));
    EXPECT_EQ(LoadStringIn(string.id, kEnglish), string.english);
    EXPECT_EQ(LoadStringIn(string.id, kJapanese), string.japanese);
  }
  EXPECT_EQ(LoadStringIn(57344, kEnglish), L"") << "no application-title string";
  EXPECT_EQ(LoadStringIn(57344, kJapanese), L"");
}

TEST(Resources, VersionIs1_0_0_6) {
  HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
  ASSERT_NE(resource, nullptr);
  const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, resource)));
  // VS_VERSIONINFO: three words, the key "VS_VERSION_INFO", padding, then the fixed part.
  const auto* fixed = reinterpret_cast<const VS_FIXEDFILEINFO*>(bytes + 40);
  ASSERT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000006u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000006u);
}

TEST(Resources, ManifestAsksForCommonControls6AsInvokerAndDpiAwareness) {
  HRSRC resource = FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_MANIFEST);
  ASSERT_NE(resource, nullptr);
  const auto* bytes = static_cast<const char*>(LockResource(LoadResource(nullptr, resource)));
  const std::string manifest(bytes, SizeofResource(nullptr, resource));
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""), std::string::npos);
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  // Per monitor: version 2 where Windows has it, else the first version,
  // and on Windows 8.1 per monitor too.
  EXPECT_NE(manifest.find(">true/pm</dpiAware>"), std::string::npos);
  EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string::npos);

  // And the loader honoured it: the common controls come from the side-by-side
  // assembly of version 6.
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(GetModuleHandleW(L"comctl32.dll"), path, MAX_PATH);
  std::wstring loaded = path;
  CharLowerW(loaded.data());
  EXPECT_NE(loaded.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6.0."), std::wstring::npos) << loaded;
}

}  // namespace
}  // namespace norvane::test
