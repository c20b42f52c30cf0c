#include "app/Application.h"
#include "firmware/FirmwareScenes.h"

int main(int argc, char** argv) { return runApplication(argc, argv, registerFirmwareScenes); }
