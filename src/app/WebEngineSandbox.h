#pragma once

// Chromium refuses to start its sandbox as root and ends the whole process, so a root
// user (a container, a rescue shell) gets the web view without it and is told so on
// stderr. Must run before the application object exists. True when it was turned off.
bool TurnOffWebEngineSandboxForRoot();
