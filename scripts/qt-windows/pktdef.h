/* The packet layout that goes with wintab.h beside it, from wine's headers (Debian's
 * libwine-dev); the includer defines PACKETDATA first. */
#include "/usr/include/wine/wine/windows/pktdef.h"
