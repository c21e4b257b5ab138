// Resource ids shared by the resource script and the code.
#pragma once

#define IDD_SETTINGS 100
#define IDC_FPS 101
#define IDC_UNPACED 102
