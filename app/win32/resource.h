#pragma once

// Resource ids of the Win32 front-end, shared by the resource script and the code.
#define ZX_IDI_ICON 1
#define ZX_IDB_CAMERA 101
#define ZX_IDB_SPLASH 102
#define ZX_IDB_ABOUT 103
