// The release's version: the plug-in's and the probe's version blocks carry
// it, the probe prints it, and ./dev dist names the package after the DLL's.
#pragma once

#define QUENTA_VERSION_MAJOR 1
#define QUENTA_VERSION_MINOR 0
#define QUENTA_VERSION_PATCH 0

#define QUENTA_VERSION_STRINGIZE(x) #x
#define QUENTA_VERSION_STRING(x) QUENTA_VERSION_STRINGIZE(x)
#define QUENTA_VERSION_TEXT QUENTA_VERSION_STRING(QUENTA_VERSION_MAJOR.QUENTA_VERSION_MINOR.QUENTA_VERSION_PATCH)
