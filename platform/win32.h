// The one header through which engine code reaches the operating system.
// On Windows it is the real SDK; elsewhere it is simwin, which declares the same
// subset with the same names and signatures (platform/sim/win32_sim.h).
#pragma once

#ifdef _WIN32
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <tlhelp32.h>
#include <objbase.h>
#include <comdef.h>
#include <oleacc.h>
#else
#include "sim/win32_sim.h"
#endif
#include "win32/uiautomation_client.h"
