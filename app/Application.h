#pragma once

// Runs the whole application: the main window with the intro screen, the camera SDK (the
// simulated one, set up from $RAVLIO_VOK_SCENARIO), until the window closes.
int runApplication(int argc, char** argv);
