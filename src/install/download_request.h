#pragma once

#include "plugin/plugin_abi.h"

// Fills the module's static download request from the discovery state and returns a copy.
DownloadRequest build_download_request();
