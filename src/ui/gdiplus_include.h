// GDI+ with NOMINMAX: its headers use min and max unqualified.
#pragma once
#include <windows.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>
