// The Utility page on its own, held by a test host instead of the main
// window: a bus power check holds its host from Run to the end of the run,
// however the run ends, and tells it when the drive it measured has gone.
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "dialog_test_support.h"
#include "drive/channel.h"
#include "drive/device_io.h"
#include "emulator/emulated_devices.h"
#include "pages/utility_page.h"
#include "resource.h"

namespace norvane::test {
namespace {

// Writes down what the page asks of it, in the order asked.
class RecordingHost : public CUtilityDialog::Host {
 public:
  explicit RecordingHost(std::vector<std::string>& events) : m_events(events) {}

  void HoldBusy() override { m_events.push_back("hold"); }
  void ReleaseBusy() override { m_events.push_back("release"); }
  void DriveListChanged() override { m_events.push_back("drive list changed"); }

 private:
  std::vector<std::string>& m_events;
};

struct CheckCase {
  const char* name;
  std::function<void(emu::EmulatedDrive&)> before;  // the drive when Run is clicked
  bool pushTrayIn;                                  // the person at the drive closes the tray on the disc at the prompt
  std::vector<std::string> events;                  // the host's and the notices ("notice")
};

// One check on drive E from Run to the verdict, the page in a plain window.
std::vector<std::string> EventsOfACheck(const CheckCase& c) {
  emu::EmulatedDevices devices;
  InstallDeviceIo(devices);
  emu::EmulatedDrive& drive = devices.Attach('E', emu::QuietDriveModel());
  OpenDrive('E');
  c.before(drive);
  std::vector<std::string> events;
  RecordingHost host(events);
  HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 400, 300, nullptr, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  auto page = std::make_unique<CUtilityDialog>(parent, host);

  WhileAnsweringEach(
      nullptr,
      [&](HWND box) {
        events.push_back("notice");
        if (events.size() == 2 && c.pushTrayIn) {  // the first notice is the prompt
          drive.CloseTray();
          devices.Clock().Advance(emu::kDefaultSpinUpMs);
        }
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      },
      [&] { SendDlgItemMessageW(page->Handle(), IDC_RUN_CHECK, BM_CLICK, 0, 0); });
  for (int tick = 0; tick < 26; ++tick) {
    devices.Clock().Advance(1000);
    SendMessageW(page->Handle(), WM_TIMER, 0, 0);
  }

  page.reset();
  DestroyWindow(parent);
  CloseDrive();
  ReleaseMediaNotification();
  return events;
}

TEST(UtilityPageAlone, ACheckHoldsItsHostToTheEndAndReportsALostDrive) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  const CheckCase cases[] = {
      {"enough power", [](emu::EmulatedDrive&) {}, true, {"hold", "notice", "release"}},
      {"no disc",
       [](emu::EmulatedDrive& drive) {
         drive.RemoveDisc();
         drive.CloseTray();
       },
       false,
       {"hold", "notice", "notice", "release"}},
      {"the drive drops off the bus",
       [](emu::EmulatedDrive& drive) { drive.SetBusPower(emu::kBrownOutPower - 1); },
       true,
       {"hold", "notice", "drive list changed", "release"}},
  };
  for (const CheckCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(EventsOfACheck(c), c.events);
  }
}

}  // namespace
}  // namespace norvane::test
