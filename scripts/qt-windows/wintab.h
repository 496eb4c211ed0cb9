/* The tablet interface for Qt's windows platform plugin. Debian's qt6-base sources leave
 * out the plugin's copy of this header; wine's (Debian's libwine-dev) declares the same
 * interface with two macros of wine's own, defined here for a build with UNICODE. */
#ifndef SUNDRIX_QT_WINTAB_H
#define SUNDRIX_QT_WINTAB_H

#include <windows.h>

#ifndef WINELIB_NAME_AW
#ifdef UNICODE
#define WINELIB_NAME_AW(name) name##W
#else
#define WINELIB_NAME_AW(name) name##A
#endif
#endif
#ifndef DECL_WINELIB_TYPE_AW
#define DECL_WINELIB_TYPE_AW(type) typedef WINELIB_NAME_AW(type) type;
#endif
#ifndef API
#define API WINAPI
#endif

#include "/usr/include/wine/wine/windows/wintab.h"

#endif
