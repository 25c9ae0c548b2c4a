// Every decoder of drive data on whatever a drive answers with GOOD status:
// the input is the INQUIRY data and the content of every vendor buffer. The
// texts and numbers made of it must stay what the program can show and use.
#include <cstdint>
#include <string>
#include <vector>

#include "drive/channel.h"
#include "drive/help_file_name.h"
#include "drive/readings.h"
#include "emulator/emulated_devices.h"

namespace {

using namespace norvane;

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

emu::EmulatedDevices& Devices() {
  static emu::EmulatedDevices devices;
  static bool installed = [] {
    devices.Attach('E', emu::QuietDriveModel());
    InstallDeviceIo(devices);
    return true;
  }();
  (void)installed;
  return devices;
}

void CheckHelpFileName(const std::wstring& model) {
  for (bool japanese : {false, true}) {
    const std::wstring name = HelpFileName(model, japanese);
    for (wchar_t c : name)
      Require(c >= 0x20 && c != 0x7F && std::wstring(L"\\/:*?\"<>|").find(c) == std::wstring::npos);
    Require(!IsReservedDeviceName(name));
    Require(name.ends_with(japanese ? L"_Japanese.chm" : L"_English.chm"));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  emu::EmulatedDevices& devices = Devices();
  emu::EmulatedDrive& drive = *devices.Drive('E');
  const std::vector<std::uint8_t> bytes(data, data + size);
  drive.OverrideInquiry(bytes);
  for (std::uint8_t buffer : {IdentityBuffer, DriveStatusBuffer, ErrorCounterBuffer, PowerCheckBuffer}) {
    drive.OverrideBuffer(buffer, bytes);
  }

  const std::wstring identity = ReadDriveIdentity('E');
  Require(identity.size() <= 16);
  IsSupportedDrive(identity);
  const std::wstring label = BuildDriveLabel('E');
  Require(label.starts_with(L"E : ") && label.size() <= 4 + 37);

  OpenDrive('E');
  const std::wstring model = ReadModelName();
  Require(model.size() <= 40);
  CheckHelpFileName(model);
  const QuietModeCode quiet = ReadQuietMode();
  Require(quiet >= QuietPersistent && quiet <= QuietStandard);
  const QualityReading quality = ReadQuality();
  Require(quality.level <= kMaxQualityLevel);
  Require(FormatTimeCode(quality.counters.lastSectorFrame).size() <= 9);
  // What a buffer shorter than its read leaves is zeros, and the reading says so.
  Require(quality.read.transferred <= quality.read.requested);
  const PowerMeasurement power = ReadPowerMeasurement();
  Require(power.read.transferred <= kPowerCheckLength);
  Require(power.read.Complete() == (!power.responding || size >= kPowerCheckLength));
  CloseDrive();

  // The model name straight from the input too, beyond what INQUIRY can carry.
  std::wstring wide;
  for (std::size_t i = 0; i + 1 < size; i += 2) wide += static_cast<wchar_t>(data[i] | data[i + 1] << 8);
  CheckHelpFileName(wide);
  return 0;
}
