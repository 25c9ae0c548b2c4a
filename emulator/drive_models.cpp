#include "emulator/emulated_devices.h"

namespace norvane::emu {

DriveModel QuietDriveModel() {
  DriveModel model;
  model.product = "BD-RE QDM-LT58  ";
  model.revision = "1.06";
  model.vendorSpecific = "2026/10/05  ";
  model.identity = "KTV 3364QR27";
  model.realTimeSupported = true;
  return model;
}

DriveModel GeneralDriveModel() {
  DriveModel model;
  model.product = "BD-RE NBX-2400  ";
  model.revision = "1.02";
  model.vendorSpecific = "2025/04/18  ";
  model.identity = "KTV 3364GENERAL";
  model.realTimeSupported = false;
  return model;
}

DriveModel ForeignDriveModel() {
  DriveModel model;
  model.vendor = "ACMEDISC";
  model.product = "DVD-RW AD-7290  ";
  model.revision = "2.10";
  model.vendorSpecific = "";
  model.identity = "";
  model.realTimeSupported = false;
  model.vendorBuffers = false;
  return model;
}

}  // namespace norvane::emu
