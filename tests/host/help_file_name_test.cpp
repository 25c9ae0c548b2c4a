// The help file's name made from whatever model name a drive reports.
#include <gtest/gtest.h>

#include "drive/help_file_name.h"

namespace norvane::test {
namespace {

TEST(HelpFileName, KeepsAPlainFileNameWhateverTheDriveReports) {
  const struct {
    const wchar_t* model;
    bool japanese;
    const wchar_t* name;
  } cases[] = {
      {L"QDM-LT58", false, L"QDM-LT58_English.chm"},
      {L"QDM-LT58", true, L"QDM-LT58_Japanese.chm"},
      {L"", false, L"_English.chm"},
      {L"..\\..\\Windows\\evil", false, L"....Windowsevil_English.chm"},
      {L"a/b:c*d?e\"f<g>h|i\tj\x7F", false, L"abcdefghij_English.chm"},
      // Names Windows would open as devices.
      {L"CON", false, L"CON_English.chm"},  // "CON_English" is not a device
      {L"CON.x", false, L"_CON.x_English.chm"},
      {L"nul .1", true, L"_nul .1_Japanese.chm"},
      {L"COM7.a", false, L"_COM7.a_English.chm"},
      {L"LPT\u00B9.a", false, L"_LPT\u00B9.a_English.chm"},
      {L"COM10.a", false, L"COM10.a_English.chm"},
      {L"CONOUT$.", false, L"_CONOUT$._English.chm"},
  };
  for (const auto& c : cases) EXPECT_EQ(HelpFileName(c.model, c.japanese), c.name) << c.model;
}

TEST(HelpFileName, ReservedDeviceNamesByTheirPartBeforeTheFirstDot) {
  for (const wchar_t* name : {L"CON", L"con", L"PRN.txt", L"aux.a.b", L"NUL  .x", L"COM1", L"lpt9.chm", L"CLOCK$"}) {
    EXPECT_TRUE(IsReservedDeviceName(name)) << name;
  }
  for (const wchar_t* name : {L"CONX", L"COM", L"LPT10", L"xCON", L"CON_English.chm", L"", L".CON"}) {
    EXPECT_FALSE(IsReservedDeviceName(name)) << name;
  }
}

}  // namespace
}  // namespace norvane::test
