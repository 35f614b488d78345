// Resource ids of LumenoteToolbar.dll, shared by the resource script and the code.
#pragma once

#define IDS_PROJNAME 100
#define IDI_LUMENOTE 201
