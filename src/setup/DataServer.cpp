// The file server every database path names. A build for another server
// sets MARVANE_DATA_SERVER (CMakeLists.txt); nothing changes it at run time.
// A file of its own, so that nothing else is built again for another name.
#include "setup/DataSources.h"

#ifndef MARVANE_DATA_SERVER
#error "the build names the file server: MARVANE_DATA_SERVER"
#endif

const char* const DataServerName = MARVANE_DATA_SERVER;
