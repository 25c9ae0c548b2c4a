// The emulated drives of the demo, as a person trying the utility finds them.
#pragma once

#include "emulator/emulated_devices.h"

namespace norvane::emu {

// Attaches the demo's drives. Their clock should follow real time, so that
// playback and measurements move on while a person watches.
void AttachDemoDrives(EmulatedDevices& devices);

}  // namespace norvane::emu
