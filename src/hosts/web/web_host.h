// The web host: the program on a page's canvas (web_host.cpp says how).
#pragma once

#include "hosts/host.h"

namespace squarefield {

// The page's canvas; Unreachable where there is no page (under node).
Opened OpenWebHost(const HostConfig& config);

}  // namespace squarefield
