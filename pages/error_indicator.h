// The error indicator control of the Status page.
#pragma once

namespace norvane {

// Registers the "CErrorIndicator" window class that the Status page's
// template names; registering it again is harmless.
void RegisterIndicatorClass();

}  // namespace norvane
