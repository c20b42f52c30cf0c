#include "firmware/FirmwareFileDownloadViewController.h"

FirmwareFileDownloadViewController::FirmwareFileDownloadViewController(QObject* parent)
    : platform::ViewController(parent) {}

FirmwareFileDownloadViewController::~FirmwareFileDownloadViewController() = default;
