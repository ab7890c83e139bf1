// Resource identifiers shared by the resource script and the code.
#pragma once

#define IDR_TYPELIB 1
#define IDD_PROPERTIES 4013
